#pragma once
// The communication settings dialog "Parameter Set Form": how the reader is reached (COM port and
// speed, or USB directly), its four authentication keys, the authentication method and, for
// mutual authentication, whether the channel is encrypted.
#include <QDialog>
#include <QObject>

#include <cstdint>

#include "core/settings.h"

class QComboBox;
class QEvent;
class QGroupBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QShowEvent;

namespace tapwedge::app {

// Holds a working copy of the caller's settings and runs the form on it.
class TProtocol : public QObject {
    Q_OBJECT

public:
    // Mode bits: low byte 1 = port, speed, ID key and method are not offered (only the keys Kar,
    // Kbr and Kcr); bit 2 = plain communication preselected, mutual authentication not offered.
    TProtocol(QObject* owner, std::int32_t mode);

    // Runs the dialog modally on settings. Returns 0 when the user confirmed with OK (settings
    // then holds the edited values) and 1 otherwise (settings untouched).
    int Execute(CommSettings& settings);

    CommSettings Settings;  // the copy the form shows; written only by its OK button
    std::int32_t Mode;
};

class TProtocolForm : public QDialog {
    Q_OBJECT

public:
    // Shows and edits protocol.Settings according to protocol.Mode.
    explicit TProtocolForm(TProtocol& protocol, QWidget* owner = nullptr);

    // Handlers of the form's controls.
    void FormShow();
    void OKButtonClick();
    void ComPortRBtnClick();
    void AuthenRBtnClick();
    // Key filters of the port box and the key fields: true drops the character.
    bool ComPortCBoxKeyPress(QObject* target, QEvent* event);
    bool IdEditKeyPress(QObject* target, QEvent* event);

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    // True when the port and the four keys can be stored as they are; otherwise says which entry
    // is wrong and puts the focus on it.
    bool EntriesAccepted();
    void FillComPortList();
    // The port box takes as many digits as the longest port it shows (at least 2), so that a
    // three-digit port is never cut short. shownLength: a text about to be shown that no item has.
    void FitComPortLength(int shownLength);
    QLineEdit* KeyEdit(int index) const;

    TProtocol& protocol_;
    QGroupBox* protocolGrBox_ = nullptr;
    QRadioButton* comPortRBtn_ = nullptr;
    QRadioButton* usbDirectRBtn_ = nullptr;
    QComboBox* comPortCBox_ = nullptr;
    QComboBox* baudRateCBox_ = nullptr;
    QLineEdit* idEdit_ = nullptr;
    QLineEdit* karEdit_ = nullptr;
    QLineEdit* kbrEdit_ = nullptr;
    QLineEdit* kcrEdit_ = nullptr;
    QGroupBox* authGrBox_ = nullptr;
    QRadioButton* authenRBtn_ = nullptr;
    QRadioButton* pwRBtn_ = nullptr;
    QGroupBox* groupBox2_ = nullptr;
    QRadioButton* comEncRBtn_ = nullptr;
    QRadioButton* comNoEncRBtn_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QPushButton* cancelButton_ = nullptr;
};

}  // namespace tapwedge::app
