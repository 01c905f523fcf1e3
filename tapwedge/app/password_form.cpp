#include "app/password_form.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "app/title_bar_only.h"
#include "app/ui_hooks.h"

namespace tapwedge::app {

TPasswordForm::TPasswordForm(QWidget* owner, const QString& expected, const QString& label)
    : QDialog(owner),
      ExpectedPassword(expected.left(kPasswordMaxLength)),
      PasswordResult(kResultNo) {
    setObjectName(QStringLiteral("PasswordForm"));
    setWindowTitle(QStringLiteral("Password入力"));
    ShowTitleBarOnly(this);

    MsgLbl = new QLabel(QStringLiteral("パスワード入力(5桁)"));
    MsgLbl->setObjectName(QStringLiteral("MsgLbl"));
    MsgLbl->setText(label);
    PasswordEdit = new QLineEdit;
    PasswordEdit->setObjectName(QStringLiteral("PasswordEdit"));
    PasswordEdit->setMaxLength(kPasswordMaxLength);
    PasswordEdit->setMinimumWidth(200);
    PasswordEdit->setEchoMode(QLineEdit::Password);
    // The style's own mask character varies; the prompt shows "*".
    PasswordEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    auto* okButton = new QPushButton(QStringLiteral("OK"));
    okButton->setObjectName(QStringLiteral("OkBtn"));
    okButton->setDefault(true);
    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"));
    cancelButton->setObjectName(QStringLiteral("CancelBtn"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okButton);
    buttons->addWidget(cancelButton);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(MsgLbl);
    layout->addWidget(PasswordEdit);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(okButton, &QPushButton::clicked, this, &TPasswordForm::OkBtnClick);
    connect(cancelButton, &QPushButton::clicked, this, &TPasswordForm::reject);
}

void TPasswordForm::OkBtnClick() {
    // The entry must hold the expected text and end where it ends: a shorter entry never matches.
    const QString typed = PasswordEdit->text();
    const qsizetype n = ExpectedPassword.size();
    PasswordResult = typed.size() >= n && typed.left(n) == ExpectedPassword ? kResultOk : kResultNo;
    done(PasswordResult);
}

void TPasswordForm::FormClose() { QDialog::done(PasswordResult); }

void TPasswordForm::done(int /*result: replaced by PasswordResult*/) { FormClose(); }

void TPasswordForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Centred on the desktop.
    if (const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

}  // namespace tapwedge::app
