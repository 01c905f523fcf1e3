#pragma once
// The password prompt ("Password入力") that guards the card-parameter dialog. One OK press
// decides; a wrong entry closes the prompt without a message.
#include <QDialog>
#include <QString>

class QLabel;
class QLineEdit;

namespace tapwedge::app {

class TPasswordForm : public QDialog {
    Q_OBJECT

public:
    static constexpr int kPasswordMaxLength = 5;

    // expected: only its first 5 characters count; label: the prompt shown above the entry.
    TPasswordForm(QWidget* owner, const QString& expected, const QString& label);

    void OkBtnClick();
    // Runs on every close, whatever closed the form: the result is PasswordResult, 1 or 7.
    void FormClose();

    // Every way of closing (OK, Cancel, Escape, the window's close) passes here.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    QString ExpectedPassword;
    int PasswordResult;
    QLabel* MsgLbl = nullptr;
    QLineEdit* PasswordEdit = nullptr;
};

}  // namespace tapwedge::app
