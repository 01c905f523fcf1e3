#include "core/auth_messages.h"

#include "core/reader_status.h"
#include "tagwire/tagwire.h"

namespace tapwedge {

AuthOutcome AuthOutcomeOf(std::int32_t result, int edition) {
    switch (result) {
    case TW_OK: return {true, nullptr};
    case TW_ERR_AUTH_REFUSED: return {false, "認証エラー"};
    case TW_ERR_PASSWORD_DISABLED: return {false, "ﾊﾟｽﾜｰﾄﾞ認証無効"};
    case TW_ERR_READER_REJECTED:
        // A reader without encryption (or an unknown model) counts as ready unauthenticated.
        return {edition == kEditionPlain || edition == kEditionUnsupported, nullptr};
    default: return {false, "レスポンスエラー"};
    }
}

bool AuthMessageGate::Failed(std::int32_t result) {
    const bool repeated = told_ && result == result_;
    told_ = true;
    result_ = result;
    return !repeated;
}

}  // namespace tapwedge
