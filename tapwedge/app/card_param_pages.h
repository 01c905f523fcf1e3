#pragma once
// The controls of the card-parameter dialog's four card pages and of its fixed-width box, and the
// copies between them and the page states of core/card_pages.h. Every control carries its name
// as objectName. The dialog binds the handlers.
#include <QString>

#include "core/card_pages.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QRadioButton;
class QWidget;

namespace tapwedge::app {

struct CardPageWidgets {
    // Builds the pages and GroupBox1 as children of parent, in their initial state.
    explicit CardPageWidgets(QWidget* parent);

    // FeliCa page.
    QGroupBox* FeliCaGrBox;
    QWidget* CSelPanel1;
    QRadioButton* IDmRBtn1;
    QRadioButton* BlockRBtn1;
    QWidget* FormatPanel1;
    QRadioButton* NormalRBtn1;
    QRadioButton* SsfcRBtn1;
    QLineEdit* CSysCodeEdit1;
    QWidget* CodeChangePanel;
    QComboBox* CCodeCombBox1;
    QLabel* Memo1;
    QWidget* DataAreaPanel1;
    QLineEdit* ServiceCodeEdit1;
    QLineEdit* ServiceCodeEdit11;
    QGroupBox* BlockGrBox10;
    QLineEdit* CDataBlkEdit10;
    QLineEdit* CDataStartEdit10;
    QLineEdit* CDataLenEdit10;
    QGroupBox* BlockGrBox11;
    QLineEdit* CDataBlkEdit11;
    QLineEdit* CDataStartEdit11;
    QLineEdit* CDataLenEdit11;
    QGroupBox* SsfcGrBox;
    QComboBox* SsfcCBox1;
    QComboBox* SsfcCBox2;
    QCheckBox* SsfcChkBox;
    QWidget* Panel1;

    // Type A page.
    QGroupBox* MifareGrBox;
    QWidget* Panel4;
    QRadioButton* MifUidRBtn;
    QRadioButton* MifDataRBtn;
    QWidget* MifFormatPanel;
    QCheckBox* MifStandardChkBox1;
    QCheckBox* MifUltraChkBox1;
    QWidget* Panel3;
    QRadioButton* TATypeRBtn1;
    QRadioButton* TATypeRBtn2;
    QWidget* MifAuthPanel;
    QRadioButton* MifAuthNoRBtn;
    QRadioButton* MifKeyARBtn;
    QRadioButton* MifKeyBRBtn;
    QWidget* RMifKeyPanel;
    QWidget* MifKeyBlkPanel;
    QLineEdit* MifKeyBlkEdit;
    QLineEdit* MifKeyEdit;
    QWidget* MifCodeChangePanel;
    QComboBox* MifCodeCombBox;
    QGroupBox* MifBlockGrBox10;
    QLineEdit* MifDataBlkEdit10;
    QLineEdit* MifDataStartEdit10;
    QLineEdit* MifDataLenEdit10;
    QLabel* TAStartLbl1;
    QLabel* TALenLbl1;
    QGroupBox* MifBlockGrBox11;
    QLineEdit* MifDataBlkEdit11;
    QLineEdit* MifDataStartEdit11;
    QLineEdit* MifDataLenEdit11;
    QLabel* TAStartLbl2;
    QLabel* TALenLbl2;
    QWidget* Panel2;

    // ISO15693 page.
    QGroupBox* IcGrBox;
    QWidget* Panel6;
    QRadioButton* ICUidRBtn;
    QRadioButton* ICDataRBtn;
    QComboBox* ICCodeCombBox;
    QWidget* Panel7;
    QLineEdit* ICAfiEdit;
    QGroupBox* IcParaGrBox;
    QRadioButton* ReadMultiRBtn;
    QRadioButton* ReadSingleRBtn;
    QCheckBox* ICOptionFlagCBox;
    QComboBox* ICBlkSizeCBox;
    QGroupBox* ISOBlockGrBox10;
    QLineEdit* ICDataBlkEdit10;
    QLineEdit* ICDataStartEdit10;
    QLineEdit* ICDataLenEdit10;
    QLabel* IcStartPtLabel1;
    QGroupBox* ISOBlockGrBox11;
    QLineEdit* ICDataBlkEdit11;
    QLineEdit* ICDataStartEdit11;
    QLineEdit* ICDataLenEdit11;
    QLabel* IcStartPtLabel2;

    // Page "none".
    QGroupBox* NoneGrBox;

    // Fixed widths, shown with every page.
    QGroupBox* GroupBox1;
    QLineEdit* PosOutDtEdit1;
    QLineEdit* PosOutDtEdit2;

    // What the lists of the FeliCa, Type A and ISO15693 pages cannot show of the entry shown
    // last on them: its output code (and block size), stored while the list selects nothing.
    int KeptCodes[3] = {kNoItem, kNoItem, kNoItem};
    int KeptBlockSize = kNoItem;

    QGroupBox* Page(CardPage page) const;
    // The page whose box is not hidden; None also when none is shown.
    CardPage VisiblePage() const;
    // Hides all four pages, then shows page.
    void ShowOnly(CardPage page);

    FelicaPageState ReadFelica() const;
    TypeAPageState ReadTypeA() const;
    Iso15693PageState ReadIso15693() const;
    CardPages Read() const;
    // Writes a page state into the controls, in the order the show sets them: the choices first
    // (their click handlers run as they change), then the texts.
    void WriteFelica(const FelicaPageState& page);
    void WriteTypeA(const TypeAPageState& page);
    void WriteIso15693(const Iso15693PageState& page);

private:
    void BuildFelicaPage(QWidget* parent);
    void BuildTypeAPage(QWidget* parent);
    void BuildIso15693Page(QWidget* parent);
    void BuildNonePage(QWidget* parent);
    void BuildFixedWidths(QWidget* parent);
};

// Selects item of list, or nothing when the list has no such item.
void SelectItem(QComboBox* list, int item);

}  // namespace tapwedge::app
