#include "app/typing_limit.h"

#include <QLineEdit>
#include <QValidator>

#include <algorithm>

namespace tapwedge::app {
namespace {

// Refuses a user's edit that leaves the text longer than the limit without shortening it. The
// text the program sets passes: the control undoes a refused edit only from an accepted text.
class TypingLimit : public QValidator {
public:
    TypingLimit(QLineEdit* edit, int limit) : QValidator(edit), limit_(limit) {
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& text) { length_ = text.size(); });
        length_ = edit->text().size();
    }

    int Limit() const { return limit_; }
    void SetShowing(bool showing) { showing_ = showing; }

    State validate(QString& input, int&) const override {
        if (showing_ || input.size() <= limit_ || input.size() < length_) return Acceptable;
        return Invalid;
    }

private:
    int limit_;
    qsizetype length_ = 0;  // of the text before the edit being validated
    bool showing_ = false;
};

}  // namespace

void LimitTyping(QLineEdit* edit, int maxLength) {
    edit->setMaxLength(maxLength);
    edit->setValidator(new TypingLimit(edit, maxLength));
}

void ShowWholeText(QLineEdit* edit, const QString& text) {
    auto* limit = const_cast<TypingLimit*>(dynamic_cast<const TypingLimit*>(edit->validator()));
    const int typing = limit != nullptr ? limit->Limit() : edit->maxLength();
    if (limit != nullptr) limit->SetShowing(true);
    // Room for the text, and back to the typing limit once a short text is shown.
    edit->setMaxLength(std::max<int>(typing, text.size()));
    edit->setText(text);
    if (limit != nullptr) limit->SetShowing(false);
}

}  // namespace tapwedge::app
