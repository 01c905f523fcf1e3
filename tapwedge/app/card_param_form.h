#pragma once
// "Card": the modal dialog in which the user chooses the card-parameter file the reader works
// with and edits card parameters 1 and 2 of it. It lists the "*.set" files of the program
// folder, loads a chosen one, and on OK saves the edited image to a file or hands it back
// unsaved. The caller (the tray menu) creates it for one use:
//
//     TPosParaForm dialog(settings.CardFileName, image, settings.CardDialogFlags);
//     if (dialog.exec() == kResultOk) saved = dialog.TakeResult(image, name);
#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/card_pages.h"
#include "core/card_param_image.h"
#include "core/program_folder.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QStatusBar;
class QWidget;

namespace tapwedge::app {

struct CardPageWidgets;

// Status texts of view mode and of edit mode.
inline const QString kViewStatus = QStringLiteral("パラメータファイルを選択してください");
inline const QString kEditStatus =
    QStringLiteral("パラメータは既存ファイルを更新または新規ファイルへ保存します");

// Bits of CardDialogFlags that the dialog reads; the others are carried.
inline constexpr std::uint16_t kDialogOffersSsfc = 0x40;
inline constexpr std::uint16_t kDialogOffersIso15693 = 0x80;

class TPosParaForm : public QDialog {
    Q_OBJECT

public:
    // cardFileName: the application's current card-parameter file (bare name); image: the
    // application's image (bytes 0 to 207 are taken, 208 to 243 start as 0); flags: see above.
    // folder: the folder whose "*.set" files are listed, ending with '/'; the files are opened by
    // bare name in the current directory, which the program makes its program folder.
    TPosParaForm(const std::string& cardFileName, const CardParamImage& image,
                 std::uint16_t flags, const std::string& folder = ProgramFolder(),
                 QWidget* parent = nullptr);
    ~TPosParaForm() override;

    // After OK: the 244 bytes of WorkImage and FileName. 1 when the result was saved to a file
    // (edit mode without "ファイルへの保存無"), else 0.
    int TakeResult(CardParamImage& image, std::string& fileName) const;
    // After OK: true when the result is a change kept only in memory (edit mode with
    // "ファイルへの保存無"); false when it was saved to a file or is the chosen file's image.
    bool KeptOnlyInMemory() const;

    CardParamImage WorkImage{};   // the image shown and edited
    std::string FileName;         // bare name of the current file; empty until one is chosen
    std::uint16_t CardDialogFlags;

    // Appends the "*.set" files of folder to ListBox1. 0, or -1 when it cannot be listed.
    int ListParamFiles(const std::string& folder);
    // Stores the visible page into entry for parameter index (0 or 1) by its kind list: the
    // entry is cleared and the page written into it; "(無効)" and no kind leave it cleared.
    // An entry the dialog showed on the page "none" although the reader uses it is left as it
    // is. 0, or -1 with the page's message.
    int StoreParameter(int index, CardEntry& entry, QString& message);
    // Shows a whole image: the no-save box, the shown parameter on its page, the other
    // parameter's kind, the fixed widths. Returns 0.
    int ShowParamImage(const CardParamImage& image, QString& message);
    // Shows entry on the page of its kind for parameter index and selects the kind item.
    int ShowCardEntry(int index, const CardEntry& entry);

    // Handlers, bound to their controls; the tag is the Tag of the sending control.
    void ListBox1Click();
    void OkBitBtnClick();
    void CardRBtn1Click(int tag);
    void EditChkBtnClick();
    void TempChkBoxClick();
    void SelCardTypeCBoxChange(int tag);
    void ServiceCodeEdit11Exit();
    void RBtn1Click();
    void MifUidRBtnClick();
    void MifKeyBlkEditExit();
    void MifDataBlkEdit10Exit();
    void TATypeRBtn1Click();
    void ICDataRBtnClick(int tag);
    void ICBlkSizeCBoxChange();
    // Key filters: key is the typed character, replaced or set to 0 (discarded).
    void HexCodeKeyPress(char32_t& key);
    void CDataBlkEdit11KeyPress(char32_t& key);

    void reject() override;  // Escape and closing the window: Cancel

private:
    void BuildFrame();
    void BindHandlers();
    QComboBox* KindList(int index) const;
    bool IsoOffered() const;
    int SelectedRow() const;
    void SelectRow(int row);
    void SetStatus(const QString& text);
    // A status text that belongs to page: it gives way when another page is shown.
    void SetPageNote(CardPage page, const QString& text);
    // Shows one of the four pages.
    void ShowPage(CardPage page);
    // The layouts of the FeliCa and Type A pages for their choices, without the output code
    // that a click on the choices selects.
    void FelicaLayout();
    void TypeALayout();
    // The fixed-width boxes as widths; -1 with the message when one holds no width.
    int ReadFixedWidths(std::uint8_t (&widths)[2], QString& message) const;
    // Stores parameter index into WorkImage with the fixed widths, all or nothing.
    int StoreShownParameter(int index, QString& message);
    bool SaveWorkImage();
    // A file is selected that could not be read: OK refuses, the pages are disabled.
    bool UnreadableFileSelected() const;
    void UpdatePagesEnabled();
    // The file name typed for saving: false when cancelled. A name that cannot be saved to is
    // refused with a message and asked for again.
    bool AskFileName(std::string& name);

    std::unique_ptr<CardPageWidgets> pages_;
    std::vector<std::string> listedNames_;  // ListBox1's files, row by row, as the system names them
    int shownRow_ = -1;                     // row of the file whose image is shown, or -1
    CardParamImage shownFileImage_{};       // that file's image as read when it was selected
    bool keepsEntry_[2] = {false, false};   // the shown entry is one the dialog cannot show
    CardPage statusNote_ = CardPage::None;  // the page whose note the status bar shows
    bool pressSelected_ = false;            // the mouse press being handled selected a file
    std::vector<QObject*> exitFilters_;

    QListWidget* ListBox1 = nullptr;
    QPushButton* OkBitBtn = nullptr;
    QPushButton* CacelBitBtn = nullptr;
    QWidget* EditPanel = nullptr;
    QCheckBox* EditChkBtn = nullptr;
    QCheckBox* TempChkBox = nullptr;
    QWidget* EditViewPanel = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    QWidget* ViewParaPanel = nullptr;
    QRadioButton* CardRBtn1 = nullptr;
    QRadioButton* CardRBtn2 = nullptr;
    QComboBox* SelCardTypeCBox = nullptr;
    QComboBox* SelCardTypeCBox2 = nullptr;
};

}  // namespace tapwedge::app
