#pragma once
// The output settings dialog ("設定フォーム"): which parts of a card read are typed and how,
// the CSV file, the beep, the UID order and the state at the next start.
#include <QDialog>
#include <QString>

#include <string>

#include "core/settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;
class QToolButton;

namespace tapwedge::app {

class TForm2 : public QDialog {
    Q_OBJECT

public:
    // Builds the dialog and fills it from the two records (neither is kept).
    TForm2(QWidget* owner, const OutputOptions& options, const OutputItems& items);

    // When the dialog was closed with OK (exec() returned kResultOk), copies the controls back
    // into both records and returns true; otherwise changes nothing and returns false.
    bool Apply(OutputItems& items, OutputOptions& options) const;

    // The folder browser, starting at folder: true with folder replaced by the chosen one (as the
    // browser gives it), false with folder unchanged when the user cancels.
    static bool BrowseFolder(QWidget* owner, QString& folder, const QString& title);

    void FormShow();
    void OutChkBox1Click();
    void OutChkBox4Click();
    void OutKeybordCBoxClick();
    void OutFileCBoxClick();
    // Sets key to a null character when the wait-time edit must not take it.
    void WaitTimeEditKeyPress(QChar& key);
    void FolderSelectSBtnClick();

    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Fill(const OutputOptions& options, const OutputItems& items);
    static void ExcludeOtherIdItem(QCheckBox* clicked, QCheckBox* other);
    void OkBtnClick();
    bool NamesAccepted();

    QCheckBox* OutChkBox[4] = {};
    QComboBox* SegCBox[4] = {};
    QComboBox* ReplaceCBox = nullptr;
    QCheckBox* CodeChangeBox = nullptr;
    QCheckBox* OutKeybordCBox = nullptr;
    QLineEdit* WaitTimeEdit = nullptr;
    QCheckBox* OutFileCBox = nullptr;
    QLineEdit* FolderEdit = nullptr;
    QToolButton* FolderSelectSBtn = nullptr;
    QLineEdit* FileEdit = nullptr;
    QRadioButton* BeepOnRBtn = nullptr;
    QRadioButton* BeepOffRBtn = nullptr;
    QRadioButton* UidDispNormalRBtn = nullptr;
    QRadioButton* UidDispReverseRBtn = nullptr;
    QRadioButton* StartRBn = nullptr;
    QRadioButton* StopRBtn = nullptr;

    // The CSV folder and file name before the dialog: kept while file output is off and the
    // fields hold nothing usable.
    std::string previousFolder_;
    std::string previousFileName_;
};

}  // namespace tapwedge::app
