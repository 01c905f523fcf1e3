// The card-parameter dialog's pages on the real widgets: entries shown on their pages and stored
// back, the switches between the parameters and kinds, entries the dialog cannot show, and the
// handlers and key filters of the page controls.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QStatusBar>

#include <functional>
#include <utility>
#include <vector>

#include "card_dialog_fixture.h"
#include "edit_paste.h"

namespace card_dialog_test {
namespace {

using tapwedge::app::BoxIcon;
using tapwedge::app::kResultOk;

constexpr std::uint16_t kAllOffered = 0xC0;

// Types text key by key; characters beyond ASCII come as a key press with that text, as a
// keyboard layout that has them would send it.
void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(widget, static_cast<char>(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

class CardPagesTest : public CardDialogTest {
protected:
    // The dialog in edit mode on an image with the two entries; Card.set is listed.
    TPosParaForm& OpenEditing(const CardEntry& first, const CardEntry& second = {},
                              std::uint16_t flags = kAllOffered) {
        WriteSet("Card.set", SampleImage(kFelicaIdm));
        TPosParaForm& dialog = Open("Card.set", SampleImage(first, second), flags);
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        return dialog;
    }
    // OK with "ファイルへの保存無": stores the shown parameter and hands back without a file.
    CardParamImage OkWithoutSaving() {
        Find<QCheckBox>("TempChkBox")->setChecked(true);
        dialog_->OkBitBtnClick();
        EXPECT_EQ(dialog_->result(), kResultOk);
        CardParamImage image{};
        std::string name;
        dialog_->TakeResult(image, name);
        return image;
    }

public:  // read by the checks of the show table
    bool Hidden(const char* name) { return Find<QWidget>(name)->isHidden(); }
    QString Text(const char* name) { return Find<QLineEdit>(name)->text(); }
    QString Label(const char* name) { return Find<QLabel>(name)->text(); }
    bool Checked(const char* name) { return Find<QAbstractButton>(name)->isChecked(); }
    int Item(const char* name) { return Find<QComboBox>(name)->currentIndex(); }
    QString Status() { return Find<QStatusBar>("StatusBar1")->currentMessage(); }
    // The user chooses an item of a list.
    void Choose(const char* name, int item) {
        auto* list = Find<QComboBox>(name);
        list->setCurrentIndex(item);
        emit list->activated(item);
    }
};

struct ShowCase {
    const char* name;
    CardEntry entry;
    const char* page;
    std::function<void(CardPagesTest&)> check;
};

TEST_F(CardPagesTest, EntriesShowOnTheirPages) {
    const ShowCase cases[] = {
        {"FeliCa IDm", kFelicaIdm, "FeliCaGrBox",
         [](CardPagesTest& t) {
             EXPECT_TRUE(t.Checked("IDmRBtn1"));
             EXPECT_EQ(t.Text("CSysCodeEdit1"), "FFFF");
             EXPECT_EQ(t.Item("CCodeCombBox1"), 2);
             for (const char* part : {"CodeChangePanel", "DataAreaPanel1", "BlockGrBox10",
                                      "BlockGrBox11", "SsfcGrBox"}) {
                 EXPECT_TRUE(t.Hidden(part)) << part;
             }
         }},
        {"FeliCa block area",
         EntryOf({{0, 0x91}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 16},
                  {27, 0x0B}, {28, 0x10}, {29, 7}, {30, 3}, {31, 5}}),
         "FeliCaGrBox",
         [](CardPagesTest& t) {
             EXPECT_TRUE(t.Checked("BlockRBtn1"));
             EXPECT_TRUE(t.Checked("NormalRBtn1"));
             EXPECT_EQ(t.Item("CCodeCombBox1"), 1);
             EXPECT_EQ(t.Text("ServiceCodeEdit1"), "090F");
             EXPECT_EQ(t.Text("ServiceCodeEdit11"), "100B");
             EXPECT_EQ(t.Text("CDataLenEdit10"), "16");
             EXPECT_EQ(t.Text("CDataBlkEdit11"), "7");
             EXPECT_EQ(t.Text("CDataStartEdit11"), "3");
             EXPECT_EQ(t.Text("CDataLenEdit11"), "5");
             EXPECT_FALSE(t.Hidden("DataAreaPanel1"));
             EXPECT_FALSE(t.Hidden("CodeChangePanel"));
             EXPECT_TRUE(t.Hidden("SsfcGrBox"));
         }},
        {"SSFC ID with the reissue count",
         EntryOf({{0, 0x90}, {1, 0x21}, {2, 0xFF}, {3, 0xFF}, {6, 0x0B}, {7, 0xFC}, {24, 1},
                  {26, 15}}),
         "FeliCaGrBox",
         [](CardPagesTest& t) {
             EXPECT_TRUE(t.Checked("SsfcRBtn1"));
             EXPECT_EQ(t.Item("SsfcCBox1"), 0);
             EXPECT_TRUE(t.Checked("SsfcChkBox"));
             EXPECT_EQ(t.Item("SsfcCBox2"), 2);
             EXPECT_EQ(t.Item("CCodeCombBox1"), 0);
             EXPECT_FALSE(t.Hidden("SsfcGrBox"));
             EXPECT_TRUE(t.Hidden("BlockGrBox10"));
         }},
        {"SSFC company code in area 2",
         EntryOf({{0, 0x90}, {1, 0x21}, {24, 1}, {26, 14}, {29, 2}, {31, 10}}), "FeliCaGrBox",
         [](CardPagesTest& t) {
             EXPECT_EQ(t.Item("SsfcCBox2"), 1);
             EXPECT_FALSE(t.Checked("SsfcChkBox"));
         }},
        {"Type A, neither UID size", EntryOf({{0, 0x83}, {1, 0x66}}), "MifareGrBox",
         [](CardPagesTest& t) {
             EXPECT_FALSE(t.Checked("MifStandardChkBox1"));
             EXPECT_FALSE(t.Checked("MifUltraChkBox1"));
             EXPECT_TRUE(t.Checked("MifAuthNoRBtn"));
             EXPECT_TRUE(t.Checked("MifUidRBtn"));
             EXPECT_EQ(t.Item("MifCodeCombBox"), 3);  // the entry's own, in the hidden list
             EXPECT_TRUE(t.Hidden("MifBlockGrBox10"));
         }},
        {"SLE55R block area",
         EntryOf({{0, 0x83}, {1, 0x6B}, {24, 0x10}, {25, 1}, {26, 6}, {29, 0x11}}), "MifareGrBox",
         [](CardPagesTest& t) {
             EXPECT_TRUE(t.Checked("TATypeRBtn2"));
             EXPECT_TRUE(t.Checked("MifStandardChkBox1"));
             EXPECT_FALSE(t.Checked("MifUltraChkBox1"));
             EXPECT_EQ(t.Item("MifCodeCombBox"), 3);
             EXPECT_EQ(t.Text("MifKeyBlkEdit"), "10");
             EXPECT_EQ(t.Text("MifDataBlkEdit10"), "10");
             EXPECT_EQ(t.Text("MifDataBlkEdit11"), "11");
             EXPECT_EQ(t.Label("TAStartLbl1"), "0～7");
             EXPECT_EQ(t.Label("TALenLbl2"), "1～8");
             EXPECT_TRUE(t.Hidden("RMifKeyPanel"));
             EXPECT_FALSE(OwnEnabled(t.Find<QWidget>("MifAuthPanel")));
             EXPECT_FALSE(t.Hidden("MifBlockGrBox10"));
             EXPECT_EQ(t.Status(), "SLE55Rは1ブロック8バイトのみ対応");
         }},
        {"ISO15693 with 8-byte blocks",
         EntryOf({{0, 0x82}, {1, 0xC1}, {2, 0xA5}, {4, 0x41}, {24, 3}, {26, 8}}), "IcGrBox",
         [](CardPagesTest& t) {
             EXPECT_TRUE(t.Checked("ICDataRBtn"));
             EXPECT_EQ(t.Text("ICAfiEdit"), "A5");
             EXPECT_TRUE(t.Checked("ReadMultiRBtn"));
             EXPECT_TRUE(t.Checked("ICOptionFlagCBox"));
             EXPECT_EQ(t.Item("ICBlkSizeCBox"), 1);
             EXPECT_EQ(t.Label("IcStartPtLabel1"), "0～7");
             EXPECT_FALSE(t.Hidden("IcParaGrBox"));
             EXPECT_EQ(t.Item("SelCardTypeCBox"), 2);
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardParamImage image = SampleImage(c.entry);
        image.Width1 = 12;
        Open("Card.set", image, kAllOffered);
        for (const char* page : {"FeliCaGrBox", "MifareGrBox", "IcGrBox", "NoneGrBox"}) {
            EXPECT_EQ(Hidden(page), std::string(page) != c.page) << page;
        }
        EXPECT_EQ(Text("PosOutDtEdit1"), "12");
        c.check(*this);
    }
}

// Entries the dialog writes come back byte for byte through the widgets, as parameter 1 and as
// parameter 2.
TEST_F(CardPagesTest, ShownEntriesStoreBackUnchanged) {
    const struct {
        const char* name;
        CardEntry entry;
        bool parameter2;
    } cases[] = {
        {"FeliCa IDm", kFelicaIdm, true},
        {"FeliCa block, second service without attribute bits",
         EntryOf({{0, 0x98}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0F}, {7, 0x09}, {26, 16},
                  {28, 0x10}, {29, 1}, {30, 2}, {31, 3}}),
         true},
        {"SSFC", EntryOf({{0, 0x90}, {1, 0x21}, {2, 0x88}, {3, 0xB4}, {6, 0x0B}, {7, 0xFC},
                          {24, 1}, {26, 15}, {29, 2}, {31, 10}}),
         true},
        {"Type A key B, UID", EntryOf({{0, 0x82}, {1, 0x50}, {8, 0xA1}, {9, 0xB2}, {10, 0xC3},
                                       {11, 0xD4}, {12, 0xE5}, {13, 0xF6}, {24, 0x3C}}),
         true},
        {"Type A key A, two areas",
         EntryOf({{0, 0x93}, {1, 0x43}, {8, 0xFF}, {13, 0x01}, {24, 0x08}, {26, 16}, {29, 0x09},
                  {30, 12}, {31, 4}}),
         true},
        {"SLE55R", EntryOf({{0, 0x80}, {1, 0x6D}, {24, 0x10}, {26, 8}}), true},
        // Equal block boxes count as two areas, also for UID entries.
        {"ISO15693 UID", EntryOf({{0, 0x92}, {1, 0xC0}, {2, 0x0A}}), false},
        {"ISO15693 block area", EntryOf({{0, 0x93}, {1, 0xC1}, {4, 0xC1}, {24, 4}, {25, 2},
                                         {26, 8}, {29, 9}, {31, 5}}),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenEditing(c.entry);
        EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(c.entry));
        if (!c.parameter2) continue;
        TPosParaForm& dialog = OpenEditing(kMifareUid, c.entry);
        Find<QRadioButton>("CardRBtn2")->setChecked(true);
        Find<QRadioButton>("CardRBtn1")->setChecked(true);
        EXPECT_EQ(Hex(dialog.WorkImage.Entries[1]), Hex(c.entry));
        EXPECT_EQ(Hex(dialog.WorkImage.Entries[0]), Hex(kMifareUid));
    }
}

TEST_F(CardPagesTest, ParameterSwitchStoresTheOtherAndShowsItsEntry) {
    TPosParaForm& dialog = OpenEditing(kFelicaBlock, kMifareUid);
    EXPECT_FALSE(Find<QWidget>("SelCardTypeCBox2")->isEnabled());
    Find<QLineEdit>("CSysCodeEdit1")->setText("0003");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_EQ(dialog.WorkImage.Entries[0].SystemCode(), 0x0003);
    EXPECT_FALSE(Hidden("MifareGrBox"));
    EXPECT_EQ(Item("SelCardTypeCBox2"), 1);
    EXPECT_FALSE(Find<QWidget>("SelCardTypeCBox")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("SelCardTypeCBox2")->isEnabled());

    // Back in view mode and into edit mode again: parameter 2 is stored, parameter 1 shown.
    Find<QCheckBox>("MifStandardChkBox1")->setChecked(false);
    Find<QCheckBox>("EditChkBtn")->setChecked(false);
    Find<QCheckBox>("EditChkBtn")->setChecked(true);
    EXPECT_TRUE(Checked("CardRBtn1"));
    EXPECT_EQ(dialog.WorkImage.Entries[1].KindLow(), 0x64);  // 7-byte UIDs only
    EXPECT_FALSE(Hidden("FeliCaGrBox"));
    EXPECT_EQ(Text("CSysCodeEdit1"), "0003");
}

TEST_F(CardPagesTest, FailedStoreAtSwitchReportsAndKeepsTheEntry) {
    TPosParaForm& dialog = OpenEditing(kFelicaBlock, kMifareUid);
    Find<QLineEdit>("CDataBlkEdit10")->setText("");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_EQ(Status(), "カードパラメータのブロック番号エラー");
    EXPECT_FALSE(Hidden("MifareGrBox"));  // the switch went on
    EXPECT_EQ(Hex(dialog.WorkImage.Entries[0]), Hex(kFelicaBlock));
    EXPECT_TRUE(answers_.Boxes.empty());
}

TEST_F(CardPagesTest, UnusedParameter2StoresZeroBytes) {
    TPosParaForm& dialog =
        OpenEditing(kFelicaIdm, EntryOf({{0, 0x80}, {1, 0x80}, {2, 0x12}, {33, 0x34}}));
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_FALSE(Hidden("NoneGrBox"));
    EXPECT_EQ(Item("SelCardTypeCBox2"), 2);
    const CardParamImage image = OkWithoutSaving();
    EXPECT_EQ(Hex(image.Entries[1]), Hex(CardEntry{}));
    EXPECT_TRUE(answers_.Boxes.empty());
    EXPECT_EQ(dialog.result(), kResultOk);
}

// An entry the reader uses but the dialog cannot show is kept when its parameter is stored,
// until the user chooses a kind for it.
TEST_F(CardPagesTest, EntriesTheDialogCannotShowAreKept) {
    const CardEntry iso = EntryOf({{0, 0x92}, {1, 0xC1}, {2, 0x07}, {4, 0x01}, {24, 2}, {26, 8}});
    const CardEntry bit6 = EntryOf({{0, 0xD2}, {1, 0x00}, {2, 0xFF}, {3, 0xFF}});

    // ISO15693 in parameter 1 while the reader does not offer it: no kind item, page "none".
    OpenEditing(iso, {}, 0);
    EXPECT_FALSE(Hidden("NoneGrBox"));
    EXPECT_EQ(Item("SelCardTypeCBox"), -1);
    answers_.Inputs.push_back({true, "kept"});
    dialog_->OkBitBtnClick();
    EXPECT_EQ(Hex(ReadSet("kept.set").Entries[0]), Hex(iso));

    OpenEditing(bit6);
    EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(bit6));

    // ISO15693 in parameter 2: "(無効)" is shown, the entry stays through the switches.
    TPosParaForm& dialog = OpenEditing(kFelicaIdm, iso);
    EXPECT_EQ(Item("SelCardTypeCBox2"), 2);
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_FALSE(Hidden("NoneGrBox"));
    Find<QRadioButton>("CardRBtn1")->setChecked(true);
    EXPECT_EQ(Hex(dialog.WorkImage.Entries[1]), Hex(iso));
    // Chosen by the user, "(無効)" clears it.
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    Choose("SelCardTypeCBox2", 2);
    Find<QRadioButton>("CardRBtn1")->setChecked(true);
    EXPECT_EQ(Hex(dialog.WorkImage.Entries[1]), Hex(CardEntry{}));

    // A kind chosen for an unshown parameter 1 stores that page.
    OpenEditing(iso, {}, 0);
    Choose("SelCardTypeCBox", 0);
    EXPECT_FALSE(Hidden("FeliCaGrBox"));
    EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(kFelicaIdm));
}

TEST_F(CardPagesTest, KindChangeShowsThePageWithItsContents) {
    OpenEditing(kFelicaIdm);
    Choose("SelCardTypeCBox", 1);
    EXPECT_FALSE(Hidden("MifareGrBox"));
    EXPECT_TRUE(Hidden("FeliCaGrBox"));
    Find<QLineEdit>("MifKeyBlkEdit")->setText("2A");
    Choose("SelCardTypeCBox", 2);
    EXPECT_FALSE(Hidden("IcGrBox"));
    Choose("SelCardTypeCBox", 1);
    EXPECT_EQ(Text("MifKeyBlkEdit"), "2A");
    Choose("SelCardTypeCBox", 0);
    EXPECT_EQ(Text("CSysCodeEdit1"), "FFFF");
}

// Parameter 1 not in use: with ISO15693 offered its list's item 2 is "ISO15693", which is no
// item of an entry not in use. The list selects nothing and the entry stays 34 zero bytes,
// through OK, the switches and edit mode, until the user picks a kind.
TEST_F(CardPagesTest, UnusedParameter1IsNoIso15693Entry) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    for (std::uint16_t flags : {std::uint16_t{0}, kAllOffered}) {
        SCOPED_TRACE(flags);
        Open("Card.set", SampleImage({}, kMifareUid), flags);
        EXPECT_FALSE(Hidden("NoneGrBox"));
        EXPECT_EQ(Item("SelCardTypeCBox"), -1);
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        EXPECT_FALSE(Hidden("NoneGrBox"));
        EXPECT_EQ(Item("SelCardTypeCBox"), -1);
        Find<QRadioButton>("CardRBtn2")->setChecked(true);
        EXPECT_EQ(Item("SelCardTypeCBox"), -1);
        EXPECT_EQ(Hex(dialog_->WorkImage.Entries[0]), Hex(CardEntry{}));
        Find<QRadioButton>("CardRBtn1")->setChecked(true);
        EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(CardEntry{}));
    }
    // Loaded while parameter 2 is shown, parameter 1's list shows no kind either.
    WriteSet("unused.set", SampleImage({}, kMifareUid));
    OpenEditing(kFelicaIdm, kFelicaBlock);
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    ClickFile("unused.set");
    EXPECT_EQ(Item("SelCardTypeCBox"), -1);
    Find<QRadioButton>("CardRBtn1")->setChecked(true);
    EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(CardEntry{}));
    // Chosen by the user, "ISO15693" stores that page.
    OpenEditing({});
    Choose("SelCardTypeCBox", 2);
    EXPECT_FALSE(Hidden("IcGrBox"));
    EXPECT_EQ(OkWithoutSaving().Entries[0].KindLow(), 0xC0);
}

// Values wider than their box, as a file may hold them: shown whole (a QLineEdit cuts the text it
// is given to its maximum length) and stored back as they were.
TEST_F(CardPagesTest, ValuesWiderThanTheirBoxAreShownWholeAndStoredBack) {
    const struct {
        const char* name;
        CardEntry entry;
        std::vector<std::pair<const char*, const char*>> shown;
    } cases[] = {
        {"FeliCa blocks 150 and 255",
         EntryOf({{0, 0x92}, {1, 0x01}, {2, 0xFF}, {3, 0xFF}, {6, 0x0B}, {7, 0x10}, {24, 150},
                  {26, 8}, {29, 255}, {31, 2}}),
         {{"CDataBlkEdit10", "150"}, {"CDataBlkEdit11", "255"}}},
        {"ISO15693 block 200, starts 12 and 15",
         EntryOf({{0, 0x92}, {1, 0xC1}, {24, 200}, {25, 12}, {26, 4}, {29, 7}, {30, 15},
                  {31, 2}}),
         {{"ICDataBlkEdit10", "200"}, {"ICDataStartEdit10", "12"}, {"ICDataStartEdit11", "15"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CardParamImage image = SampleImage(c.entry);
        image.Width1 = 120;
        image.Width2 = 255;
        WriteSet("Card.set", SampleImage(kFelicaIdm));
        Open("Card.set", image, kAllOffered);
        for (const auto& [box, text] : c.shown) EXPECT_EQ(Text(box), text) << box;
        EXPECT_EQ(Text("PosOutDtEdit1"), "120");
        EXPECT_EQ(Text("PosOutDtEdit2"), "255");
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        const CardParamImage stored = OkWithoutSaving();
        EXPECT_EQ(Hex(stored.Entries[0]), Hex(c.entry));
        EXPECT_EQ(stored.Width1, 120);
        EXPECT_EQ(stored.Width2, 255);
    }

    // The maximum length still limits typing and pasting: a wide value can be shortened, and
    // then grows no further than the box takes.
    auto* block = Find<QLineEdit>("ICDataBlkEdit10");
    block->end(false);
    Type(block, "9");
    EXPECT_EQ(block->text(), "200");
    QTest::keyClick(block, Qt::Key_Backspace);
    EXPECT_EQ(block->text(), "20");
    Type(block, "1");
    EXPECT_EQ(block->text(), "20");
    block->selectAll();
    Type(block, "71");
    EXPECT_EQ(block->text(), "71");
    auto* length = Find<QLineEdit>("ICDataLenEdit10");
    length->selectAll();
    length->insert("345");  // as a paste does
    EXPECT_EQ(length->text(), "34");
}

// Output codes 4 to 7 and block sizes of 12 and 16 bytes are in no list: the list shows no item
// and the store keeps the entry's value. An entry's own code is kept also where the page's
// layout selects one on a click (IDm, UID, SSFC), so that a shown entry stores back as it was.
TEST_F(CardPagesTest, ValuesTheListsDoNotOfferAreKept) {
    const struct {
        const char* name;
        CardEntry entry;
        const char* list;
        int item;
    } cases[] = {
        {"FeliCa block area, code 4", EntryOf({{0, 0x94}, {1, 0x01}, {2, 0x12}, {26, 8}}),
         "CCodeCombBox1", -1},
        {"FeliCa IDm, code 0", EntryOf({{0, 0x90}, {1, 0x00}, {2, 0xFF}, {3, 0xFF}}),
         "CCodeCombBox1", 0},
        {"SSFC, code 3", EntryOf({{0, 0x93}, {1, 0x21}, {6, 0x0B}, {7, 0xFC}, {24, 2}, {26, 10}}),
         "CCodeCombBox1", 3},
        {"Type A block area, code 5", EntryOf({{0, 0x85}, {1, 0x61}, {24, 4}, {26, 16}}),
         "MifCodeCombBox", -1},
        {"Type A UID, code 7", EntryOf({{0, 0x87}, {1, 0x60}}), "MifCodeCombBox", -1},
        {"ISO15693, code 6", EntryOf({{0, 0x86}, {1, 0xC1}, {24, 1}, {26, 8}}), "ICCodeCombBox",
         -1},
        {"ISO15693, 16-byte blocks", EntryOf({{0, 0x82}, {1, 0xC1}, {4, 0x83}, {24, 1}, {26, 8}}),
         "ICBlkSizeCBox", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenEditing(c.entry);
        EXPECT_EQ(Item(c.list), c.item);
        EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(c.entry));
        // As parameter 2, through a switch (ISO15693 is kept there as an entry not shown).
        OpenEditing(kFelicaIdm, c.entry);
        Find<QRadioButton>("CardRBtn2")->setChecked(true);
        Find<QRadioButton>("CardRBtn1")->setChecked(true);
        EXPECT_EQ(Hex(dialog_->WorkImage.Entries[1]), Hex(c.entry));
    }
    // A code the user picks is stored; a click on "IDm" selects the hexadecimal code.
    OpenEditing(EntryOf({{0, 0x94}, {1, 0x01}, {26, 8}}));
    Find<QComboBox>("CCodeCombBox1")->setCurrentIndex(0);
    EXPECT_EQ(OkWithoutSaving().Entries[0].KindHigh(), 0x90);
    OpenEditing(EntryOf({{0, 0x90}, {1, 0x01}}));
    Find<QRadioButton>("IDmRBtn1")->setChecked(true);
    EXPECT_EQ(OkWithoutSaving().Entries[0].KindHigh(), 0x92);
}

// A width that is no width stops a parameter switch: the parameter stays shown with the user's
// edits, and the message names the fixed width.
TEST_F(CardPagesTest, BadFixedWidthRefusesTheParameterSwitch) {
    TPosParaForm& dialog = OpenEditing(kFelicaBlock, kMifareUid);
    Find<QLineEdit>("CSysCodeEdit1")->setText("0003");
    Find<QLineEdit>("PosOutDtEdit1")->setText("x");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_TRUE(Checked("CardRBtn1"));
    EXPECT_FALSE(Checked("CardRBtn2"));
    EXPECT_FALSE(Hidden("FeliCaGrBox"));
    EXPECT_EQ(Text("CSysCodeEdit1"), "0003");
    EXPECT_EQ(Text("PosOutDtEdit1"), "x");
    EXPECT_EQ(Status(), "固定ﾃﾞｰﾀ長エラー");
    EXPECT_TRUE(Find<QWidget>("SelCardTypeCBox")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("SelCardTypeCBox2")->isEnabled());
    EXPECT_EQ(Hex(dialog.WorkImage.Entries[0]), Hex(kFelicaBlock));
    EXPECT_TRUE(answers_.Boxes.empty());

    // Mended, the switch stores the edit.
    Find<QLineEdit>("PosOutDtEdit1")->setText("5");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    EXPECT_FALSE(Hidden("MifareGrBox"));
    EXPECT_EQ(dialog.WorkImage.Entries[0].SystemCode(), 0x0003);
    EXPECT_EQ(dialog.WorkImage.Width1, 5);

    // Back to view mode and into edit mode again, which shows parameter 1: refused the same way.
    Find<QLineEdit>("PosOutDtEdit2")->setText("-1");
    Find<QCheckBox>("EditChkBtn")->setChecked(false);
    Find<QCheckBox>("EditChkBtn")->setChecked(true);
    EXPECT_TRUE(Checked("CardRBtn2"));
    EXPECT_FALSE(Hidden("MifareGrBox"));
    EXPECT_TRUE(Find<QWidget>("SelCardTypeCBox2")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("SelCardTypeCBox")->isEnabled());
    EXPECT_EQ(Status(), "固定ﾃﾞｰﾀ長エラー");
}

// An SLE55R page holds 8 bytes: the store refuses areas beyond it, as the labels say.
TEST_F(CardPagesTest, Sle55rAreasStayWithinAPage) {
    const struct {
        const char *start, *length, *message;
    } cases[] = {
        {"2", "6", nullptr},
        {"2", "7", "カードパラメータのデータ長エラー(領域が一ブロックを超えている可能性が有)"},
        {"8", "0", "カードパラメータのデータ開始位置エラー"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.start << " + " << c.length);
        OpenEditing(EntryOf({{0, 0x82}, {1, 0x69}, {24, 0x10}, {26, 8}}));
        EXPECT_EQ(Label("TAStartLbl1"), "0～7");
        EXPECT_EQ(Label("TALenLbl1"), "1～8");
        Find<QLineEdit>("MifDataStartEdit10")->setText(c.start);
        Find<QLineEdit>("MifDataLenEdit10")->setText(c.length);
        Find<QCheckBox>("TempChkBox")->setChecked(true);
        answers_.Boxes.clear();
        dialog_->OkBitBtnClick();
        if (c.message == nullptr) {
            EXPECT_EQ(dialog_->result(), kResultOk);
            EXPECT_TRUE(answers_.Boxes.empty());
        } else {
            EXPECT_EQ(dialog_->result(), 0);
            EXPECT_EQ(answers_.Texts(), std::vector<QString>{QString::fromUtf8(c.message)});
        }
    }
}

// The status bar shows the note of the page that is shown, or none: a Type A note gives way to
// another page. The dialog's own texts stay.
TEST_F(CardPagesTest, StatusBarKeepsNoNoteOfAnotherPage) {
    OpenEditing(kMifareUid);
    Find<QRadioButton>("TATypeRBtn2")->setChecked(true);
    EXPECT_EQ(Status(), "SLE55Rは1ブロック8バイトのみ対応");
    Choose("SelCardTypeCBox", 2);
    EXPECT_FALSE(Hidden("IcGrBox"));
    EXPECT_EQ(Status(), "");
    Choose("SelCardTypeCBox", 1);
    Find<QRadioButton>("TATypeRBtn1")->setChecked(true);
    EXPECT_EQ(Status(), "mifareは1ブロック16バイト");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);  // parameter 2 is not in use
    EXPECT_FALSE(Hidden("NoneGrBox"));
    EXPECT_EQ(Status(), "");

    Find<QCheckBox>("TempChkBox")->setChecked(true);
    Find<QRadioButton>("CardRBtn1")->setChecked(true);
    Choose("SelCardTypeCBox", 0);
    EXPECT_EQ(Status(), "編集したパラメータは保存されません");
}

TEST_F(CardPagesTest, LoadingWhileParameter2IsShown) {
    const CardEntry iso = EntryOf({{0, 0x82}, {1, 0xC0}});
    WriteSet("two.set", SampleImage(iso, kMifareUid));
    OpenEditing(kFelicaIdm, kFelicaBlock);
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    ClickFile("two.set");
    EXPECT_FALSE(Hidden("MifareGrBox"));
    EXPECT_EQ(Item("SelCardTypeCBox2"), 1);
    EXPECT_EQ(Item("SelCardTypeCBox"), 2);  // "ISO15693"
}

TEST_F(CardPagesTest, FelicaLayoutFollowsTheChoices) {
    OpenEditing(kFelicaIdm);
    dialog_->show();
    QTest::mouseClick(Find<QRadioButton>("BlockRBtn1"), Qt::LeftButton);
    EXPECT_FALSE(Hidden("DataAreaPanel1"));
    EXPECT_FALSE(Hidden("CodeChangePanel"));
    EXPECT_FALSE(Hidden("BlockGrBox11"));
    EXPECT_TRUE(Hidden("SsfcGrBox"));
    Find<QComboBox>("CCodeCombBox1")->setCurrentIndex(3);
    QTest::mouseClick(Find<QRadioButton>("SsfcRBtn1"), Qt::LeftButton);
    EXPECT_FALSE(Hidden("SsfcGrBox"));
    EXPECT_TRUE(Hidden("DataAreaPanel1"));
    EXPECT_TRUE(Hidden("CodeChangePanel"));
    EXPECT_EQ(Item("CCodeCombBox1"), 0);
    QTest::mouseClick(Find<QRadioButton>("IDmRBtn1"), Qt::LeftButton);
    EXPECT_TRUE(Hidden("SsfcGrBox"));
    EXPECT_EQ(Item("CCodeCombBox1"), 2);
    // "SSFC" with "IDm" stores an identifier-only entry.
    EXPECT_EQ(Hex(OkWithoutSaving().Entries[0]), Hex(kFelicaIdm));
}

TEST_F(CardPagesTest, TypeAAndIso15693LayoutsFollowTheChoices) {
    OpenEditing(kMifareUid);
    Find<QRadioButton>("MifDataRBtn")->setChecked(true);
    Find<QComboBox>("MifCodeCombBox")->setCurrentIndex(0);
    EXPECT_FALSE(Hidden("MifBlockGrBox10"));
    EXPECT_FALSE(Hidden("MifCodeChangePanel"));
    Find<QRadioButton>("MifUidRBtn")->setChecked(true);
    EXPECT_TRUE(Hidden("MifBlockGrBox11"));
    EXPECT_EQ(Item("MifCodeCombBox"), 2);

    Choose("SelCardTypeCBox", 2);
    Find<QRadioButton>("ICDataRBtn")->setChecked(true);
    EXPECT_FALSE(Hidden("IcParaGrBox"));
    EXPECT_FALSE(Hidden("ISOBlockGrBox11"));
    Choose("ICBlkSizeCBox", 1);
    EXPECT_EQ(Label("IcStartPtLabel1"), "0～7");
    EXPECT_EQ(Label("IcStartPtLabel2"), "0～7");
    Choose("ICBlkSizeCBox", 0);
    EXPECT_EQ(Label("IcStartPtLabel2"), "0～3");
    Find<QRadioButton>("ICUidRBtn")->setChecked(true);
    EXPECT_TRUE(Hidden("IcParaGrBox"));
    EXPECT_TRUE(Hidden("ISOBlockGrBox10"));
}

// The dialog shown and active, so that moving the focus leaves an edit as a user's Tab would.
class CardFocusTest : public CardPagesTest {
protected:
    void Activate() {
        dialog_->show();
        dialog_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog_.get()));
    }
    void Leave(const char* from, const char* to) {
        Find<QWidget>(from)->setFocus(Qt::TabFocusReason);
        Find<QWidget>(to)->setFocus(Qt::TabFocusReason);
    }
};

TEST_F(CardFocusTest, SecondServiceCodeTakesTheFirstOnesAttribute) {
    OpenEditing(kFelicaBlock);
    Activate();
    Find<QLineEdit>("ServiceCodeEdit1")->setText("1009");
    const struct {
        const char *typed, *after;
        bool warned;
    } cases[] = {{"2008", "2009", true}, {"1000", "1000", false}, {"0000", "0000", false},
                 {"300B", "300B", false}, {"FFCA", "FFC9", true}};
    for (const auto& c : cases) {
        answers_.Boxes.clear();
        Find<QLineEdit>("ServiceCodeEdit11")->setText(c.typed);
        Leave("ServiceCodeEdit11", "CSysCodeEdit1");
        EXPECT_EQ(Text("ServiceCodeEdit11"), c.after) << c.typed;
        ASSERT_EQ(answers_.Boxes.size(), c.warned ? 1u : 0u) << c.typed;
        if (!c.warned) continue;
        EXPECT_EQ(answers_.Boxes[0].Caption, "入力エラー");
        EXPECT_EQ(answers_.Boxes[0].Text, "サービスコード１と同じ属性（セキュリティ有無）にしてください");
        EXPECT_EQ(answers_.Boxes[0].Icon, BoxIcon::Warning);
    }
}

TEST_F(CardFocusTest, Sle55rMirrorsTheFirstBlockAndMifareTheAuthenticationBlock) {
    OpenEditing(kMifareUid);
    Activate();
    Find<QRadioButton>("MifDataRBtn")->setChecked(true);
    Find<QRadioButton>("MifKeyBRBtn")->setChecked(true);
    Find<QLineEdit>("MifKeyBlkEdit")->setText("3C");
    Leave("MifKeyBlkEdit", "MifDataStartEdit10");
    EXPECT_EQ(Text("MifDataBlkEdit10"), "3C");

    QTest::mouseClick(Find<QRadioButton>("TATypeRBtn2"), Qt::LeftButton);
    EXPECT_TRUE(Checked("MifAuthNoRBtn"));
    EXPECT_FALSE(OwnEnabled(Find<QWidget>("MifAuthPanel")));
    EXPECT_TRUE(Hidden("RMifKeyPanel"));
    EXPECT_TRUE(OwnEnabled(Find<QLineEdit>("MifDataBlkEdit10")));
    EXPECT_FALSE(Find<QLineEdit>("MifDataBlkEdit10")->isReadOnly());
    EXPECT_FALSE(OwnEnabled(Find<QLineEdit>("MifDataBlkEdit11")));
    EXPECT_EQ(Status(), "SLE55Rは1ブロック8バイトのみ対応");
    for (const char* label : {"TAStartLbl1", "TAStartLbl2"}) EXPECT_EQ(Label(label), "0～7");
    for (const char* label : {"TALenLbl1", "TALenLbl2"}) EXPECT_EQ(Label(label), "1～8");
    Find<QLineEdit>("MifDataBlkEdit10")->setText("1A");
    Leave("MifDataBlkEdit10", "MifDataStartEdit10");
    EXPECT_EQ(Text("MifDataBlkEdit11"), "1A");
    Find<QLineEdit>("MifDataLenEdit10")->setText("8");
    Find<QLineEdit>("MifDataLenEdit11")->setText("4");
    Find<QCheckBox>("TempChkBox")->setChecked(true);
    dialog_->OkBitBtnClick();
    EXPECT_EQ(Hex(dialog_->WorkImage.Entries[0]),
              Hex(EntryOf({{0, 0x92}, {1, 0x69}, {24, 0x1A}, {26, 8}, {29, 0x1A}, {31, 4}})));

    Open("Card.set", SampleImage(kMifareUid));
    Find<QCheckBox>("EditChkBtn")->setChecked(true);
    Activate();
    Find<QRadioButton>("TATypeRBtn2")->setChecked(true);
    Find<QLineEdit>("MifKeyBlkEdit")->setText("05");
    Find<QRadioButton>("TATypeRBtn1")->setChecked(true);
    EXPECT_EQ(Text("MifDataBlkEdit10"), "05");
    EXPECT_TRUE(Find<QLineEdit>("MifDataBlkEdit10")->isReadOnly());
    EXPECT_FALSE(OwnEnabled(Find<QLineEdit>("MifDataBlkEdit10")));
    EXPECT_TRUE(OwnEnabled(Find<QWidget>("MifAuthPanel")));
    EXPECT_EQ(Label("TAStartLbl2"), "0～15");
    EXPECT_EQ(Label("TALenLbl1"), "1～16");
    EXPECT_EQ(Status(), "mifareは1ブロック16バイト");
    // Leaving the first block with the second one enabled copies nothing.
    Find<QLineEdit>("MifDataBlkEdit11")->setText("22");
    dialog_->MifDataBlkEdit10Exit();
    EXPECT_EQ(Text("MifDataBlkEdit11"), "22");
}

TEST_F(CardPagesTest, KeyFiltersOfHexAndDecimalFields) {
    OpenEditing(kFelicaBlock);
    const struct {
        const char* name;
        QString typed, kept;
    } cases[] = {
        {"CSysCodeEdit1", "a1g-", "A1"},
        {"ServiceCodeEdit11", "fé ｂ", "FB"},  // full-width letters as ASCII, other non-ASCII dropped
        {"CDataBlkEdit10", "1a", "1"},
        {"CDataLenEdit11", "-9", "9"},
        {"MifDataBlkEdit11", "0f", "0F"},
        {"MifDataStartEdit10", "x7", "7"},
        {"ICDataStartEdit11", "b3", "3"},
        {"ICAfiEdit", "zz", "zz"},  // no filter
        {"PosOutDtEdit1", "z", "z"},
    };
    for (const auto& c : cases) {
        auto* edit = Find<QLineEdit>(c.name);
        edit->clear();
        Type(edit, c.typed);
        EXPECT_EQ(edit->text(), c.kept) << c.name;
        // Pasted text is filtered the same way, by every way of pasting.
        for (const tapwedge_test::PasteWay& way : tapwedge_test::PasteWays()) {
            tapwedge_test::Paste(edit, c.typed, way);
            EXPECT_EQ(edit->text(), c.kept) << c.name << " pasted by " << way.name;
        }
    }
    // A paste longer than the box allows changes nothing.
    auto* block = Find<QLineEdit>("CDataBlkEdit10");
    block->setText("7");
    tapwedge_test::Paste(block, "1 2 3 4", tapwedge_test::PasteWays().front());
    EXPECT_EQ(block->text(), "7");
    // The filters are the dialog's handlers of those names.
    char32_t key = U'b';
    dialog_->HexCodeKeyPress(key);
    EXPECT_EQ(key, U'B');
    key = U'b';
    dialog_->CDataBlkEdit11KeyPress(key);
    EXPECT_EQ(key, 0u);
    auto* hex = Find<QLineEdit>("CSysCodeEdit1");
    QTest::keyClick(hex, Qt::Key_Backspace);
    EXPECT_EQ(hex->text(), "A");
    EXPECT_FALSE(hex->testAttribute(Qt::WA_InputMethodEnabled));
    auto* decimal = Find<QLineEdit>("CDataBlkEdit10");
    QTest::keyClick(decimal, Qt::Key_Backspace);
    EXPECT_EQ(decimal->text(), "");
    // Delete, which carries the character 127, is an editing key in both filters.
    for (QLineEdit* edit : {hex, decimal}) {
        edit->setText("12");
        edit->setCursorPosition(0);
        QTest::keyClick(edit, Qt::Key_Delete);
        EXPECT_EQ(edit->text(), "2") << edit->objectName().toStdString();
    }
}

}  // namespace
}  // namespace card_dialog_test
