// The four card pages and the fixed-width box of the card-parameter dialog: their controls,
// captions, items, limits and first states.
#include "app/card_param_pages.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

#include "app/form_building.h"

namespace tapwedge::app {
namespace {

// The controls of one read area: block, start and length with their labels.
struct AreaBox {
    QGroupBox* Box;
    QLineEdit* Edits[3];
    QLabel* StartNote;
    QLabel* LengthNote;
};

struct AreaSpec {
    const char* boxName;
    const char* editNames[3];
    int maxLengths[3];
    const char* texts[3];
    QString blockLabel;
    QString blockNote;  // after the block edit; may be empty
    QString startNote;
    QString lengthNote;
};

AreaBox BuildArea(QWidget* parent, const QString& title, const AreaSpec& spec) {
    AreaBox area{};
    area.Box = MakeGroup(parent, spec.boxName, title);
    auto* grid = new QGridLayout(area.Box);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    const QString labels[3] = {spec.blockLabel, QStringLiteral("データ開始位置"),
                               QStringLiteral("データ長")};
    const QString notes[3] = {spec.blockNote, spec.startNote, spec.lengthNote};
    QLabel* noteLabels[3] = {};
    for (int row = 0; row < 3; ++row) {
        grid->addWidget(MakeLabel(area.Box, labels[row]), row, 0);
        area.Edits[row] = MakeEdit(area.Box, spec.editNames[row], spec.maxLengths[row],
                                   QString::fromLatin1(spec.texts[row]));
        grid->addWidget(area.Edits[row], row, 1);
        if (!notes[row].isEmpty()) {
            noteLabels[row] = MakeLabel(area.Box, notes[row]);
            grid->addWidget(noteLabels[row], row, 2);
        }
    }
    grid->setColumnStretch(3, 1);
    area.StartNote = noteLabels[1];
    area.LengthNote = noteLabels[2];
    return area;
}

// A framed panel with a caption before its controls.
QFrame* CaptionPanel(QWidget* parent, const char* name, const QString& caption) {
    QFrame* panel = MakePanel(parent, name);
    Row(panel)->addWidget(MakeLabel(panel, caption));
    return panel;
}

void AddToPanel(QWidget* panel, QWidget* control) { panel->layout()->addWidget(control); }

}  // namespace

CardPageWidgets::CardPageWidgets(QWidget* parent) {
    BuildFelicaPage(parent);
    BuildTypeAPage(parent);
    BuildIso15693Page(parent);
    BuildNonePage(parent);
    BuildFixedWidths(parent);
}

void CardPageWidgets::BuildFelicaPage(QWidget* parent) {
    FeliCaGrBox = MakeGroup(parent, "FeliCaGrBox", QStringLiteral("FeliCa"));
    QGroupBox* page = FeliCaGrBox;
    QBoxLayout* column = Column(page);

    CSelPanel1 = CaptionPanel(page, "CSelPanel1", QStringLiteral("読み取り対象"));
    IDmRBtn1 = MakeRadio(CSelPanel1, "IDmRBtn1", QStringLiteral("IDm"), true);
    BlockRBtn1 = MakeRadio(CSelPanel1, "BlockRBtn1", QStringLiteral("Block Area"), false);
    AddToPanel(CSelPanel1, IDmRBtn1);
    AddToPanel(CSelPanel1, BlockRBtn1);
    FormatPanel1 = CaptionPanel(page, "FormatPanel1", QStringLiteral("フォーマット"));
    NormalRBtn1 = MakeRadio(FormatPanel1, "NormalRBtn1", QStringLiteral("標準"), true);
    SsfcRBtn1 = MakeRadio(FormatPanel1, "SsfcRBtn1", QStringLiteral("SSFC"), false);
    AddToPanel(FormatPanel1, NormalRBtn1);
    AddToPanel(FormatPanel1, SsfcRBtn1);
    QBoxLayout* choices = new QHBoxLayout;
    choices->addWidget(CSelPanel1);
    choices->addWidget(FormatPanel1);
    choices->addStretch();
    column->addLayout(choices);

    QBoxLayout* systemRow = new QHBoxLayout;
    systemRow->addWidget(MakeLabel(page, QStringLiteral("システムコード")));
    CSysCodeEdit1 = MakeEdit(page, "CSysCodeEdit1", 4, QStringLiteral("FFFF"));
    systemRow->addWidget(CSysCodeEdit1);
    systemRow->addWidget(MakeLabel(page, QStringLiteral("（HEX)")));
    systemRow->addSpacing(12);
    CodeChangePanel = MakePanel(page, "CodeChangePanel");
    QGridLayout* codeGrid = new QGridLayout(CodeChangePanel);
    codeGrid->setContentsMargins(6, 4, 6, 4);
    codeGrid->addWidget(MakeLabel(CodeChangePanel, QStringLiteral("コード変換")), 0, 0);
    CCodeCombBox1 = MakeList(CodeChangePanel, "CCodeCombBox1",
                             {QStringLiteral("無変換"), QStringLiteral("(無効)"),
                              QStringLiteral("ｺｰﾄﾞ：0~9,A~F"), QStringLiteral("ｺｰﾄﾞ：0~9")});
    codeGrid->addWidget(CCodeCombBox1, 0, 1);
    Memo1 = MakeLabel(CodeChangePanel,
                      QStringLiteral("【注意】IDmは、”0~9,A~F”変換を選択\nして下さい。"), "Memo1");
    codeGrid->addWidget(Memo1, 1, 0, 1, 2);
    systemRow->addWidget(CodeChangePanel);
    systemRow->addStretch();
    column->addLayout(systemRow);

    DataAreaPanel1 = MakePanel(page, "DataAreaPanel1");
    QGridLayout* services = new QGridLayout(DataAreaPanel1);
    services->setContentsMargins(6, 4, 6, 4);
    services->setVerticalSpacing(4);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("サービスコード１")), 0, 0);
    ServiceCodeEdit1 = MakeEdit(DataAreaPanel1, "ServiceCodeEdit1", 4);
    services->addWidget(ServiceCodeEdit1, 0, 1);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("（HEX)")), 0, 2);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("第一,二領域")), 0, 3);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("サービスコード２")), 1, 0);
    ServiceCodeEdit11 = MakeEdit(DataAreaPanel1, "ServiceCodeEdit11", 4);
    services->addWidget(ServiceCodeEdit11, 1, 1);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("（HEX)")), 1, 2);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("第ニ領域")), 1, 3);
    services->addWidget(MakeLabel(DataAreaPanel1, QStringLiteral("(不要時は0を入力)")), 1, 4);
    services->setColumnStretch(5, 1);
    column->addWidget(DataAreaPanel1);

    const AreaBox area10 = BuildArea(
        page, QStringLiteral("第一リード領域"),
        {"BlockGrBox10", {"CDataBlkEdit10", "CDataStartEdit10", "CDataLenEdit10"}, {2, 2, 2},
         {"0", "0", "10"}, QStringLiteral("開始ブロック番号"), QStringLiteral("0～"),
         QStringLiteral("0～15"), QStringLiteral("1～64")});
    const AreaBox area11 = BuildArea(
        page, QStringLiteral("第二リード領域"),
        {"BlockGrBox11", {"CDataBlkEdit11", "CDataStartEdit11", "CDataLenEdit11"}, {2, 2, 2},
         {"0", "0", "0"}, QStringLiteral("開始ブロック番号"), QStringLiteral("0～"),
         QStringLiteral("0～15"), QStringLiteral("1～64")});
    BlockGrBox10 = area10.Box;
    CDataBlkEdit10 = area10.Edits[0];
    CDataStartEdit10 = area10.Edits[1];
    CDataLenEdit10 = area10.Edits[2];
    BlockGrBox11 = area11.Box;
    CDataBlkEdit11 = area11.Edits[0];
    CDataStartEdit11 = area11.Edits[1];
    CDataLenEdit11 = area11.Edits[2];

    SsfcGrBox = MakeGroup(page, "SsfcGrBox", QStringLiteral("SSFC"));
    QGridLayout* ssfc = new QGridLayout(SsfcGrBox);
    ssfc->setContentsMargins(8, 6, 8, 6);
    ssfc->addWidget(MakeLabel(SsfcGrBox, QStringLiteral("第一リード領域")), 0, 0);
    SsfcCBox1 = MakeList(SsfcGrBox, "SsfcCBox1",
                         {QStringLiteral("ID"), QStringLiteral("会社コード")});
    ssfc->addWidget(SsfcCBox1, 0, 1);
    ssfc->addWidget(MakeLabel(SsfcGrBox, QStringLiteral("第ニリード領域")), 1, 0);
    SsfcCBox2 = MakeList(SsfcGrBox, "SsfcCBox2",
                         {QStringLiteral("ID"), QStringLiteral("会社コード"),
                          QStringLiteral("（無効）")});
    ssfc->addWidget(SsfcCBox2, 1, 1);
    SsfcChkBox = MakeCheck(SsfcGrBox, "SsfcChkBox", QStringLiteral("IDに再発行回数を含む"), false);
    ssfc->addWidget(SsfcChkBox, 2, 0, 1, 2);
    ssfc->setColumnStretch(2, 1);

    QBoxLayout* areas = new QHBoxLayout;
    areas->addWidget(BlockGrBox10);
    areas->addWidget(BlockGrBox11);
    areas->addWidget(SsfcGrBox);
    areas->addStretch();
    column->addLayout(areas);

    Panel1 = MakePanel(page, "Panel1");
    Row(Panel1)->addWidget(
        MakeLabel(Panel1, QStringLiteral("セキュリティ有領域では、サービスコードに0を入力")));
    Panel1->hide();
    column->addStretch();
}

void CardPageWidgets::BuildTypeAPage(QWidget* parent) {
    MifareGrBox = MakeGroup(parent, "MifareGrBox", QStringLiteral("TypeA"));
    QGroupBox* page = MifareGrBox;
    QBoxLayout* column = Column(page);

    Panel4 = CaptionPanel(page, "Panel4", QStringLiteral("読み取り対象"));
    MifUidRBtn = MakeRadio(Panel4, "MifUidRBtn", QStringLiteral("UID"), true);
    MifDataRBtn = MakeRadio(Panel4, "MifDataRBtn", QStringLiteral("Block Area"), false);
    AddToPanel(Panel4, MifUidRBtn);
    AddToPanel(Panel4, MifDataRBtn);
    Panel3 = CaptionPanel(page, "Panel3", QStringLiteral("カード種"));
    TATypeRBtn1 = MakeRadio(Panel3, "TATypeRBtn1", QStringLiteral("mifare"), true);
    TATypeRBtn2 = MakeRadio(Panel3, "TATypeRBtn2", QStringLiteral("SLE55R"), false);
    AddToPanel(Panel3, TATypeRBtn1);
    AddToPanel(Panel3, TATypeRBtn2);
    QBoxLayout* first = new QHBoxLayout;
    first->addWidget(Panel4);
    first->addWidget(Panel3);
    first->addStretch();
    column->addLayout(first);

    MifFormatPanel = CaptionPanel(page, "MifFormatPanel", QStringLiteral("有効なUID長"));
    MifStandardChkBox1 =
        MakeCheck(MifFormatPanel, "MifStandardChkBox1", QStringLiteral("4バイト"), true);
    MifUltraChkBox1 = MakeCheck(MifFormatPanel, "MifUltraChkBox1", QStringLiteral("7バイト"), true);
    AddToPanel(MifFormatPanel, MifStandardChkBox1);
    AddToPanel(MifFormatPanel, MifUltraChkBox1);
    Panel2 = CaptionPanel(page, "Panel2", QStringLiteral("【参考】 UltraLight は7ByteUID,認証無 "));
    Panel2->setEnabled(false);
    QBoxLayout* second = new QHBoxLayout;
    second->addWidget(MifFormatPanel);
    second->addWidget(Panel2);
    second->addStretch();
    column->addLayout(second);

    MifAuthPanel = CaptionPanel(page, "MifAuthPanel", QStringLiteral("     認証"));
    MifAuthNoRBtn = MakeRadio(MifAuthPanel, "MifAuthNoRBtn", QStringLiteral("無"), true);
    MifKeyARBtn = MakeRadio(MifAuthPanel, "MifKeyARBtn", QStringLiteral("KeyA"), false);
    MifKeyBRBtn = MakeRadio(MifAuthPanel, "MifKeyBRBtn", QStringLiteral("KeyB"), false);
    AddToPanel(MifAuthPanel, MifAuthNoRBtn);
    AddToPanel(MifAuthPanel, MifKeyARBtn);
    AddToPanel(MifAuthPanel, MifKeyBRBtn);
    RMifKeyPanel = new QWidget(page);
    RMifKeyPanel->setObjectName(QStringLiteral("RMifKeyPanel"));
    QBoxLayout* keyRow = Row(RMifKeyPanel);
    keyRow->setContentsMargins(0, 0, 0, 0);
    MifKeyBlkPanel = CaptionPanel(RMifKeyPanel, "MifKeyBlkPanel", QStringLiteral("認証ブロック"));
    MifKeyBlkEdit = MakeEdit(MifKeyBlkPanel, "MifKeyBlkEdit", 2, QStringLiteral("00"));
    AddToPanel(MifKeyBlkPanel, MifKeyBlkEdit);
    AddToPanel(MifKeyBlkPanel, MakeLabel(MifKeyBlkPanel, QStringLiteral("（HEX)")));
    AddToPanel(MifKeyBlkPanel, MakeLabel(MifKeyBlkPanel, QStringLiteral("（通し番号)")));
    keyRow->addWidget(MifKeyBlkPanel);
    // The key is never shown: it only carries an entry's key from the show to the store.
    QLabel* keyLabel = MakeLabel(RMifKeyPanel, QStringLiteral("Key"));
    MifKeyEdit = MakeEdit(RMifKeyPanel, "MifKeyEdit", 12, QStringLiteral("3C5A96E1B70D"));
    MifKeyEdit->setEchoMode(QLineEdit::Password);
    QLabel* keyHex = MakeLabel(RMifKeyPanel, QStringLiteral("（HEX)"));
    for (QWidget* hidden : {static_cast<QWidget*>(keyLabel), static_cast<QWidget*>(MifKeyEdit),
                            static_cast<QWidget*>(keyHex)}) {
        keyRow->addWidget(hidden);
        hidden->hide();
    }
    QBoxLayout* third = new QHBoxLayout;
    third->addWidget(MifAuthPanel);
    third->addWidget(RMifKeyPanel);
    third->addStretch();
    column->addLayout(third);

    MifCodeChangePanel = CaptionPanel(page, "MifCodeChangePanel", QStringLiteral("コード変換"));
    MifCodeCombBox = MakeList(MifCodeChangePanel, "MifCodeCombBox",
                              {QStringLiteral("無変換"), QStringLiteral("（無効）"),
                               QStringLiteral("0~9,A~F"), QStringLiteral("0~9")});
    AddToPanel(MifCodeChangePanel, MifCodeCombBox);
    QBoxLayout* fourth = new QHBoxLayout;
    fourth->addWidget(MifCodeChangePanel);
    fourth->addStretch();
    column->addLayout(fourth);

    const AreaBox area10 = BuildArea(
        page, QStringLiteral("第一リード領域"),
        {"MifBlockGrBox10", {"MifDataBlkEdit10", "MifDataStartEdit10", "MifDataLenEdit10"},
         {2, 2, 2}, {"0", "0", "10"}, QStringLiteral("ブロック番号"), QStringLiteral("（HEX)"),
         QStringLiteral("0～15"), QStringLiteral("1～16")});
    const AreaBox area11 = BuildArea(
        page, QStringLiteral("第二リード領域"),
        {"MifBlockGrBox11", {"MifDataBlkEdit11", "MifDataStartEdit11", "MifDataLenEdit11"},
         {2, 2, 2}, {"0", "0", "0"}, QStringLiteral("ブロック番号"), QStringLiteral("（HEX)"),
         QStringLiteral("0～15"), QStringLiteral("1～16")});
    MifBlockGrBox10 = area10.Box;
    MifDataBlkEdit10 = area10.Edits[0];
    MifDataStartEdit10 = area10.Edits[1];
    MifDataLenEdit10 = area10.Edits[2];
    TAStartLbl1 = area10.StartNote;
    TALenLbl1 = area10.LengthNote;
    MifBlockGrBox11 = area11.Box;
    MifBlockGrBox11->setToolTip(QStringLiteral("第一領域と同一セクタのブロック"));
    MifDataBlkEdit11 = area11.Edits[0];
    MifDataStartEdit11 = area11.Edits[1];
    MifDataLenEdit11 = area11.Edits[2];
    TAStartLbl2 = area11.StartNote;
    TALenLbl2 = area11.LengthNote;
    TAStartLbl1->setObjectName(QStringLiteral("TAStartLbl1"));
    TALenLbl1->setObjectName(QStringLiteral("TALenLbl1"));
    TAStartLbl2->setObjectName(QStringLiteral("TAStartLbl2"));
    TALenLbl2->setObjectName(QStringLiteral("TALenLbl2"));
    // mifare: area 1's block is the authentication block, typed in MifKeyBlkEdit.
    MifDataBlkEdit10->setEnabled(false);
    MifDataBlkEdit10->setReadOnly(true);
    QBoxLayout* areas = new QHBoxLayout;
    areas->addWidget(MifBlockGrBox10);
    areas->addWidget(MifBlockGrBox11);
    areas->addStretch();
    column->addLayout(areas);
    column->addStretch();
}

void CardPageWidgets::BuildIso15693Page(QWidget* parent) {
    IcGrBox = MakeGroup(parent, "IcGrBox", QStringLiteral("ISO15693"));
    QGroupBox* page = IcGrBox;
    QBoxLayout* column = Column(page);

    Panel6 = CaptionPanel(page, "Panel6", QStringLiteral("読み取り対象"));
    ICUidRBtn = MakeRadio(Panel6, "ICUidRBtn", QStringLiteral("UID"), true);
    ICDataRBtn = MakeRadio(Panel6, "ICDataRBtn", QStringLiteral("Block Area"), false);
    AddToPanel(Panel6, ICUidRBtn);
    AddToPanel(Panel6, ICDataRBtn);
    Panel7 = CaptionPanel(page, "Panel7", QStringLiteral("AFI"));
    ICAfiEdit = MakeEdit(Panel7, "ICAfiEdit", 2, QStringLiteral("00"));
    AddToPanel(Panel7, ICAfiEdit);
    AddToPanel(Panel7, MakeLabel(Panel7, QStringLiteral("（HEX)")));
    QBoxLayout* first = new QHBoxLayout;
    first->addWidget(Panel6);
    first->addWidget(Panel7);
    first->addStretch();
    column->addLayout(first);

    QBoxLayout* codeRow = new QHBoxLayout;
    codeRow->addWidget(MakeLabel(page, QStringLiteral("コード変換")));
    ICCodeCombBox = MakeList(page, "ICCodeCombBox",
                             {QStringLiteral("無変換"), QStringLiteral("(無効)"),
                              QStringLiteral("0~9,A~F"), QStringLiteral("0~9")});
    codeRow->addWidget(ICCodeCombBox);
    codeRow->addStretch();
    column->addLayout(codeRow);

    IcParaGrBox = MakeGroup(page, "IcParaGrBox", QStringLiteral("カードパラメータ"));
    QGridLayout* para = new QGridLayout(IcParaGrBox);
    para->setContentsMargins(8, 6, 8, 6);
    para->setVerticalSpacing(4);
    para->addWidget(MakeLabel(IcParaGrBox, QStringLiteral("対象カードの仕様に合わせて設定して下さい。")),
                    0, 0, 1, 4);
    para->addWidget(MakeLabel(IcParaGrBox, QStringLiteral("ブロックリード時のコマンドを選択")),
                    1, 0);
    ReadMultiRBtn =
        MakeRadio(IcParaGrBox, "ReadMultiRBtn", QStringLiteral("ReadMultipleBlock"), true);
    ReadMultiRBtn->setToolTip(QStringLiteral("複数ブロックリード"));
    ReadSingleRBtn =
        MakeRadio(IcParaGrBox, "ReadSingleRBtn", QStringLiteral("ReadSingleBlock"), false);
    ReadSingleRBtn->setToolTip(QStringLiteral("単ブロックリード"));
    para->addWidget(ReadMultiRBtn, 1, 1);
    para->addWidget(ReadSingleRBtn, 1, 2);
    para->addWidget(
        MakeLabel(IcParaGrBox, QStringLiteral("【注意】タグによってはReadMultipleBlockに非対応")),
        2, 0, 1, 4);
    ICOptionFlagCBox =
        MakeCheck(IcParaGrBox, "ICOptionFlagCBox", QStringLiteral("オプションフラグ"), false);
    para->addWidget(ICOptionFlagCBox, 3, 0);
    QBoxLayout* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(MakeLabel(IcParaGrBox, QStringLiteral("ブロックサイズ")));
    ICBlkSizeCBox = MakeList(IcParaGrBox, "ICBlkSizeCBox",
                             {QStringLiteral("4bytes"), QStringLiteral("8bytes")});
    ICBlkSizeCBox->setCurrentIndex(0);
    sizeRow->addWidget(ICBlkSizeCBox);
    sizeRow->addStretch();
    para->addLayout(sizeRow, 3, 1, 1, 2);
    para->setColumnStretch(3, 1);
    column->addWidget(IcParaGrBox);

    const AreaBox area10 = BuildArea(
        page, QStringLiteral("第一リード領域"),
        {"ISOBlockGrBox10", {"ICDataBlkEdit10", "ICDataStartEdit10", "ICDataLenEdit10"},
         {2, 1, 2}, {"0", "0", "10"}, QStringLiteral("ブロック番号"), QString(),
         QStringLiteral("0～3"), QStringLiteral("1～16")});
    const AreaBox area11 = BuildArea(
        page, QStringLiteral("第二リード領域"),
        {"ISOBlockGrBox11", {"ICDataBlkEdit11", "ICDataStartEdit11", "ICDataLenEdit11"},
         {2, 1, 2}, {"0", "0", "0"}, QStringLiteral("ブロック番号"), QString(),
         QStringLiteral("0～3"), QStringLiteral("1～16")});
    ISOBlockGrBox10 = area10.Box;
    ICDataBlkEdit10 = area10.Edits[0];
    ICDataStartEdit10 = area10.Edits[1];
    ICDataLenEdit10 = area10.Edits[2];
    IcStartPtLabel1 = area10.StartNote;
    IcStartPtLabel1->setObjectName(QStringLiteral("IcStartPtLabel1"));
    ISOBlockGrBox11 = area11.Box;
    ICDataBlkEdit11 = area11.Edits[0];
    ICDataStartEdit11 = area11.Edits[1];
    ICDataLenEdit11 = area11.Edits[2];
    IcStartPtLabel2 = area11.StartNote;
    IcStartPtLabel2->setObjectName(QStringLiteral("IcStartPtLabel2"));
    QBoxLayout* areas = new QHBoxLayout;
    areas->addWidget(ISOBlockGrBox10);
    areas->addWidget(ISOBlockGrBox11);
    areas->addStretch();
    column->addLayout(areas);
    column->addStretch();
}

void CardPageWidgets::BuildNonePage(QWidget* parent) {
    NoneGrBox = MakeGroup(parent, "NoneGrBox", QStringLiteral("無効"));
    QBoxLayout* column = Column(NoneGrBox);
    column->addWidget(MakeLabel(NoneGrBox, QStringLiteral("パラメータファイルが選択されていません。")));
    column->addStretch();
}

void CardPageWidgets::BuildFixedWidths(QWidget* parent) {
    GroupBox1 = MakeGroup(parent, "GroupBox1", QStringLiteral("固定ﾃﾞｰﾀ長"));
    QGridLayout* grid = new QGridLayout(GroupBox1);
    grid->setContentsMargins(8, 6, 8, 6);
    grid->setVerticalSpacing(4);
    grid->addWidget(MakeLabel(GroupBox1, QStringLiteral("出力ﾃﾞｰﾀ長固定（右詰）")), 0, 0, 1, 4);
    grid->addWidget(MakeLabel(GroupBox1, QStringLiteral("第一リード領域")), 1, 0);
    PosOutDtEdit1 = MakeEdit(GroupBox1, "PosOutDtEdit1", 2, QStringLiteral("0"));
    grid->addWidget(PosOutDtEdit1, 1, 1);
    grid->addWidget(MakeLabel(GroupBox1, QStringLiteral("第ニリード領域")), 1, 2);
    PosOutDtEdit2 = MakeEdit(GroupBox1, "PosOutDtEdit2", 2, QStringLiteral("0"));
    grid->addWidget(PosOutDtEdit2, 1, 3);
    grid->addWidget(MakeLabel(GroupBox1, QStringLiteral("設定しない場合は、0を入力")), 1, 4);
    grid->setColumnStretch(5, 1);
}

}  // namespace tapwedge::app
