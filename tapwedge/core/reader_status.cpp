#include "core/reader_status.h"

#include <cstring>

#include "core/link_faults.h"
#include "tagwire/tagwire.h"

namespace tapwedge {

TrayStatus TrayStatusFor(std::int32_t readerState) {
    switch (readerState) {
    case kReaderClosed: return {TrayIcon::NoReader, "デバイス未検出/COMクローズ"};
    case kReaderOpen: return {TrayIcon::NoReader, "デバイス未検出または認証エラー/COMオープン"};
    case kReaderReady: return {TrayIcon::Ready, "デバイス検出済/COMポートオープン"};
    default: return {TrayIcon::Stopped, "停止"};
    }
}

std::int32_t ReaderTypeFromVersion(const char* text, std::size_t size) {
    const std::size_t length = strnlen(text, size);
    const char editionChar = length > 4 ? text[4] : '\0';
    int edition = kEditionUnsupported;
    switch (editionChar) {
    case '0': edition = kEditionPlain; break;
    case '2': edition = kEditionEncrypted; break;
    case '6': edition = kEditionSsfc; break;
    default: break;
    }
    std::int32_t type = edition | kReaderHandlesMifare | kReaderHandlesFelica;
    if (length > 0 && text[0] == 'T') type |= kReaderHandlesIso15693;
    return type;
}

bool IsRecoverableError(std::int32_t code) {
    if (code == TW_ERR_TIMEOUT || code == TW_ERR_SHORT_REPLY) {
        std::uint8_t reply[8];
        return TwAttention(reply) == TW_OK;
    }
    return code != TW_ERR_READER_REJECTED && LinkFaultOf(code) != LinkFault::Session;
}

}  // namespace tapwedge
