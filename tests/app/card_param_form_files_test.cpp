// The card-parameter dialog's frame: its controls, the file list, loading, OK in view and edit
// mode, saving, and what it hands back.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>

#include <sys/stat.h>

#include <fstream>
#include <set>

#include "../core/file_faults.h"
#include "card_dialog_fixture.h"
#include "core/card_read_engine.h"

namespace card_dialog_test {
namespace {

using tapwedge::app::kResultCancel;
using tapwedge::app::kResultOk;

QStringList Items(const QComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
}

QStringList ListedFiles(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
    return names;
}

TEST_F(CardDialogTest, ControlsCaptionsItemsAndLimits) {
    TPosParaForm& dialog = Open("Card.set", CardParamImage{});
    EXPECT_EQ(dialog.windowTitle(), "Card");

    const struct {
        const char* name;
        const char* text;
        bool checked;
    } buttons[] = {
        {"OkBitBtn", "OK", false}, {"CacelBitBtn", "Cancel", false},
        {"EditChkBtn", "パラメータ変更", false}, {"TempChkBox", "ファイルへの保存無", false},
        {"CardRBtn1", "パラメータ１", true}, {"CardRBtn2", "パラメータ2", false},
        {"IDmRBtn1", "IDm", true}, {"BlockRBtn1", "Block Area", false},
        {"NormalRBtn1", "標準", true}, {"SsfcRBtn1", "SSFC", false},
        {"SsfcChkBox", "IDに再発行回数を含む", false},
        {"MifUidRBtn", "UID", true}, {"MifDataRBtn", "Block Area", false},
        {"MifStandardChkBox1", "4バイト", true}, {"MifUltraChkBox1", "7バイト", true},
        {"TATypeRBtn1", "mifare", true}, {"TATypeRBtn2", "SLE55R", false},
        {"MifAuthNoRBtn", "無", true}, {"MifKeyARBtn", "KeyA", false},
        {"MifKeyBRBtn", "KeyB", false}, {"ICUidRBtn", "UID", true},
        {"ICDataRBtn", "Block Area", false}, {"ReadMultiRBtn", "ReadMultipleBlock", true},
        {"ReadSingleRBtn", "ReadSingleBlock", false}, {"ICOptionFlagCBox", "オプションフラグ", false},
    };
    for (const auto& b : buttons) {
        auto* button = Find<QAbstractButton>(b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), QString::fromUtf8(b.text)) << b.name;
        EXPECT_EQ(button->isChecked(), b.checked) << b.name;
    }
    EXPECT_FALSE(Find<QCheckBox>("TempChkBox")->isEnabled());
    EXPECT_FALSE(OwnEnabled(Find<QRadioButton>("SsfcRBtn1")));  // no SSFC flag

    const struct {
        const char *name, *title;
    } groups[] = {
        {"FeliCaGrBox", "FeliCa"}, {"MifareGrBox", "TypeA"}, {"IcGrBox", "ISO15693"},
        {"NoneGrBox", "無効"}, {"GroupBox1", "固定ﾃﾞｰﾀ長"}, {"BlockGrBox10", "第一リード領域"},
        {"BlockGrBox11", "第二リード領域"}, {"SsfcGrBox", "SSFC"},
        {"MifBlockGrBox10", "第一リード領域"}, {"MifBlockGrBox11", "第二リード領域"},
        {"IcParaGrBox", "カードパラメータ"}, {"ISOBlockGrBox10", "第一リード領域"},
        {"ISOBlockGrBox11", "第二リード領域"},
    };
    for (const auto& g : groups) {
        EXPECT_EQ(Find<QGroupBox>(g.name)->title(), QString::fromUtf8(g.title)) << g.name;
    }

    const struct {
        const char* name;
        QStringList items;
        int selected;
    } lists[] = {
        {"SelCardTypeCBox", {"FeliCa", "TypeA(mifare)"}, -1},  // unused entry: "item 2"
        {"SelCardTypeCBox2", {"FeliCa", "TypeA(mifare)", "(無効)"}, 2},
        {"CCodeCombBox1", {"無変換", "(無効)", "ｺｰﾄﾞ：0~9,A~F", "ｺｰﾄﾞ：0~9"}, 2},
        {"MifCodeCombBox", {"無変換", "（無効）", "0~9,A~F", "0~9"}, 2},
        {"ICCodeCombBox", {"無変換", "(無効)", "0~9,A~F", "0~9"}, 2},
        {"SsfcCBox1", {"ID", "会社コード"}, 0},
        {"SsfcCBox2", {"ID", "会社コード", "（無効）"}, 2},
        {"ICBlkSizeCBox", {"4bytes", "8bytes"}, 0},
    };
    for (const auto& l : lists) {
        auto* list = Find<QComboBox>(l.name);
        EXPECT_EQ(Items(list), l.items) << l.name;
        EXPECT_EQ(list->currentIndex(), l.selected) << l.name;
        EXPECT_FALSE(list->isEditable()) << l.name;
    }

    const struct {
        const char* name;
        int maxLength;
        const char* text;
    } edits[] = {
        {"CSysCodeEdit1", 4, "FFFF"}, {"ServiceCodeEdit1", 4, ""}, {"ServiceCodeEdit11", 4, ""},
        {"CDataBlkEdit10", 2, "0"}, {"CDataStartEdit10", 2, "0"}, {"CDataLenEdit10", 2, "10"},
        {"CDataBlkEdit11", 2, "0"}, {"CDataStartEdit11", 2, "0"}, {"CDataLenEdit11", 2, "0"},
        {"MifKeyBlkEdit", 2, "00"}, {"MifKeyEdit", 12, "3C5A96E1B70D"},
        {"MifDataBlkEdit10", 2, "0"}, {"MifDataStartEdit10", 2, "0"},
        {"MifDataLenEdit10", 2, "10"}, {"MifDataBlkEdit11", 2, "0"},
        {"MifDataStartEdit11", 2, "0"}, {"MifDataLenEdit11", 2, "0"}, {"ICAfiEdit", 2, "00"},
        {"ICDataBlkEdit10", 2, "0"}, {"ICDataStartEdit10", 1, "0"}, {"ICDataLenEdit10", 2, "10"},
        {"ICDataBlkEdit11", 2, "0"}, {"ICDataStartEdit11", 1, "0"}, {"ICDataLenEdit11", 2, "0"},
        {"PosOutDtEdit1", 2, "0"}, {"PosOutDtEdit2", 2, "0"},
    };
    for (const auto& e : edits) {
        auto* edit = Find<QLineEdit>(e.name);
        EXPECT_EQ(edit->maxLength(), e.maxLength) << e.name;
        EXPECT_EQ(edit->text(), QString::fromUtf8(e.text)) << e.name;
    }
    EXPECT_EQ(Find<QLineEdit>("MifKeyEdit")->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Find<QLineEdit>("MifKeyEdit")->isHidden());
    EXPECT_FALSE(OwnEnabled(Find<QLineEdit>("MifDataBlkEdit10")));
    EXPECT_TRUE(Find<QLineEdit>("MifDataBlkEdit10")->isReadOnly());

    std::set<QString> labels;
    for (const QLabel* label : dialog.findChildren<QLabel*>()) labels.insert(label->text());
    for (const char* text : {
             "カード読み取りパラメータ一覧", "パラメータの表示／設定",
             "カードパラメータは、最大二種類まで設定可能です。", "対象カード",
             "パラメータを変更／追加する場合は、本ボタンをクリック【OKボタンで確定】",
             "読み取り対象", "フォーマット", "システムコード", "（HEX)", "コード変換",
             "【注意】IDmは、”0~9,A~F”変換を選択\nして下さい。", "サービスコード１", "第一,二領域",
             "サービスコード２", "第ニ領域", "(不要時は0を入力)", "開始ブロック番号", "0～",
             "データ開始位置", "0～15", "データ長", "1～64", "第一リード領域", "第ニリード領域",
             "セキュリティ有領域では、サービスコードに0を入力", "有効なUID長", "カード種",
             "     認証", "認証ブロック", "（通し番号)", "Key", "ブロック番号", "1～16",
             "【参考】 UltraLight は7ByteUID,認証無 ", "AFI",
             "対象カードの仕様に合わせて設定して下さい。", "ブロックリード時のコマンドを選択",
             "【注意】タグによってはReadMultipleBlockに非対応", "ブロックサイズ", "0～3",
             "パラメータファイルが選択されていません。", "出力ﾃﾞｰﾀ長固定（右詰）",
             "設定しない場合は、0を入力"}) {
        EXPECT_EQ(labels.count(QString::fromUtf8(text)), 1u) << text;
    }
    EXPECT_EQ(Find<QWidget>("Memo1")->parentWidget()->objectName(), "CodeChangePanel");
    EXPECT_TRUE(Find<QWidget>("Panel1")->isHidden());
    EXPECT_FALSE(Find<QWidget>("Panel2")->isEnabled());
    EXPECT_EQ(Find<QWidget>("ReadMultiRBtn")->toolTip(), "複数ブロックリード");
    EXPECT_EQ(Find<QWidget>("ReadSingleRBtn")->toolTip(), "単ブロックリード");
    EXPECT_EQ(Find<QWidget>("MifBlockGrBox11")->toolTip(), "第一領域と同一セクタのブロック");

    // A file chooser only: no edit controls, the parameters shown but not editable.
    EXPECT_EQ(Find<QStatusBar>("StatusBar1")->currentMessage(),
              "パラメータファイルを選択してください");
    EXPECT_TRUE(Find<QWidget>("EditPanel")->isHidden());
    EXPECT_TRUE(Find<QWidget>("EditViewPanel")->isHidden());
    EXPECT_FALSE(Find<QWidget>("ViewParaPanel")->isEnabled());
    for (const char* page : {"FeliCaGrBox", "MifareGrBox", "IcGrBox"}) {
        EXPECT_TRUE(Find<QWidget>(page)->isHidden()) << page;
    }
    EXPECT_FALSE(Find<QWidget>("NoneGrBox")->isHidden());
}

TEST_F(CardDialogTest, FlagsOfferSsfcAndIso15693) {
    Open("", CardParamImage{}, 0xC0 | 0x01);
    EXPECT_TRUE(OwnEnabled(Find<QRadioButton>("SsfcRBtn1")));
    EXPECT_EQ(Items(Find<QComboBox>("SelCardTypeCBox")),
              (QStringList{"FeliCa", "TypeA(mifare)", "ISO15693"}));
    EXPECT_EQ(Items(Find<QComboBox>("SelCardTypeCBox2")),
              (QStringList{"FeliCa", "TypeA(mifare)", "(無効)"}));
    EXPECT_EQ(dialog_->CardDialogFlags, 0xC1);
}

TEST_F(CardDialogTest, WithoutSetFilesOkReportsNoFileAndStaysOpen) {
    WriteSet("card.txt", SampleImage(kFelicaIdm));
    TPosParaForm& dialog = Open("Card.set", SampleImage(kFelicaIdm));
    EXPECT_EQ(Find<QListWidget>("ListBox1")->count(), 0);
    EXPECT_TRUE(Find<QWidget>("EditPanel")->isHidden());
    EXPECT_EQ(dialog.FileName, "");
    dialog.show();
    QTest::mouseClick(Find<QPushButton>("OkBitBtn"), Qt::LeftButton);
    EXPECT_EQ(answers_.Texts(), std::vector<QString>{"ファイルが選択されていません"});
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
}

TEST_F(CardDialogTest, FolderThatCannotBeListed) {
    dialog_ = std::make_unique<TPosParaForm>("Card.set", CardParamImage{}, 0, Folder() + "none/");
    EXPECT_EQ(Find<QListWidget>("ListBox1")->count(), 0);
    EXPECT_EQ(dialog_->ListParamFiles(Folder() + "none/"), -1);
    EXPECT_EQ(dialog_->ListParamFiles(Folder()), 0);
}

TEST_F(CardDialogTest, GivenNameMatchesListedFileWithoutRegardToCase) {
    const CardParamImage caller = SampleImage(kFelicaBlock);
    WriteSet("Card.set", SampleImage(kMifareUid));
    WriteSet("other.SET", SampleImage(kFelicaIdm));
    WriteSet("notes.txt", SampleImage(kFelicaIdm));
    TPosParaForm& dialog = Open("CARD.SET", caller);
    auto* list = Find<QListWidget>("ListBox1");
    QStringList files = ListedFiles(list);
    files.sort();
    EXPECT_EQ(files, (QStringList{"Card.set", "other.SET"}));
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text(), "Card.set");
    EXPECT_EQ(dialog.FileName, "Card.set");  // as the list spells it
    EXPECT_FALSE(Find<QWidget>("EditPanel")->isHidden());
    EXPECT_FALSE(Find<QWidget>("EditViewPanel")->isHidden());
    // The file is not loaded: the pages show the caller's image, and so does WorkImage, but
    // for the bytes after the reader keys.
    EXPECT_FALSE(Find<QWidget>("FeliCaGrBox")->isHidden());
    EXPECT_EQ(Find<QLineEdit>("CSysCodeEdit1")->text(), "1234");
    CardParamImage expected = caller;
    std::memset(expected.Tail, 0, sizeof expected.Tail);
    EXPECT_EQ(Hex(dialog.WorkImage.Data(), 244), Hex(expected.Data(), 244));

    dialog.show();
    QTest::mouseClick(Find<QPushButton>("OkBitBtn"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), kResultOk);
    CardParamImage image{};
    std::string name;
    EXPECT_EQ(dialog.TakeResult(image, name), 0);
    EXPECT_EQ(name, "Card.set");
    EXPECT_EQ(Hex(image.Data(), 244), Hex(expected.Data(), 244));
}

TEST_F(CardDialogTest, LowerCaseCardSetGivesNoEditControls) {
    WriteSet("card.set", SampleImage(kFelicaIdm));
    TPosParaForm& dialog = Open("card.set", SampleImage(kFelicaIdm));
    EXPECT_EQ(ListedFiles(Find<QListWidget>("ListBox1")), QStringList{"card.set"});
    EXPECT_EQ(dialog.FileName, "card.set");
    EXPECT_TRUE(Find<QWidget>("EditPanel")->isHidden());
    EXPECT_TRUE(Find<QWidget>("EditViewPanel")->isHidden());
}

TEST_F(CardDialogTest, GivenNameNotListedSelectsNothing) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    for (const char* given : {"gone.set", "/elsewhere/Card.set", ""}) {
        TPosParaForm& dialog = Open(given, SampleImage(kFelicaIdm));
        EXPECT_TRUE(Find<QListWidget>("ListBox1")->selectedItems().isEmpty()) << given;
        EXPECT_EQ(dialog.FileName, "") << given;
        dialog.OkBitBtnClick();
        EXPECT_EQ(dialog.result(), 0) << given;
    }
    EXPECT_EQ(answers_.Texts().size(), 3u);
}

TEST_F(CardDialogTest, ClickingAFileLoadsAndShowsIt) {
    CardParamImage loaded = SampleImage(kMifareUid, kFelicaBlock);
    loaded.Width1 = 12;
    loaded.Tail[0] = 0x42;  // a loaded file replaces all 244 bytes
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    WriteSet("b.set", loaded);
    TPosParaForm& dialog = Open("Card.set", SampleImage(kFelicaIdm));
    ClickFile("b.set");
    EXPECT_EQ(dialog.FileName, "b.set");
    EXPECT_EQ(Hex(dialog.WorkImage.Data(), 244), Hex(loaded.Data(), 244));
    EXPECT_FALSE(Find<QWidget>("MifareGrBox")->isHidden());
    EXPECT_EQ(Find<QComboBox>("SelCardTypeCBox")->currentIndex(), 1);
    EXPECT_EQ(Find<QComboBox>("SelCardTypeCBox2")->currentIndex(), 0);  // entry 1 is FeliCa
    EXPECT_EQ(Find<QLineEdit>("PosOutDtEdit1")->text(), "12");
    EXPECT_EQ(Find<QLineEdit>("PosOutDtEdit2")->text(), "4");

    QTest::mouseClick(Find<QPushButton>("OkBitBtn"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), kResultOk);
    CardParamImage image{};
    std::string name;
    EXPECT_EQ(dialog.TakeResult(image, name), 0);
    EXPECT_EQ(name, "b.set");
    EXPECT_EQ(Hex(image.Data(), 244), Hex(loaded.Data(), 244));
}

// Every click on a file loads it, also on the file already selected: after a change kept in
// memory the file's own contents come back.
TEST_F(CardDialogTest, AClickOnTheSelectedFileLoadsIt) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    WriteSet("b.set", SampleImage(kMifareUid));
    TPosParaForm& dialog = Open("Card.set", SampleImage(kFelicaBlock));
    auto* list = Find<QListWidget>("ListBox1");
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(Find<QLineEdit>("CSysCodeEdit1")->text(), "1234");  // matched, not loaded
    ClickFile("Card.set");
    EXPECT_EQ(Hex(dialog.WorkImage.Data(), 244), Hex(SampleImage(kFelicaIdm).Data(), 244));
    EXPECT_EQ(Find<QLineEdit>("CSysCodeEdit1")->text(), "FFFF");

    // Changed in memory, then clicked again.
    Find<QCheckBox>("EditChkBtn")->setChecked(true);
    Find<QLineEdit>("CSysCodeEdit1")->setText("0003");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    Find<QRadioButton>("CardRBtn1")->setChecked(true);
    ASSERT_EQ(dialog.WorkImage.Entries[0].SystemCode(), 0x0003);
    ClickFile("Card.set");
    EXPECT_EQ(dialog.WorkImage.Entries[0].SystemCode(), 0xFFFF);
    EXPECT_EQ(Find<QLineEdit>("CSysCodeEdit1")->text(), "FFFF");

    // A click on another file loads it, and so does a selection moved with the keys.
    ClickFile("b.set");
    EXPECT_EQ(dialog.FileName, "b.set");
    const int cardRow = list->row(list->findItems("Card.set", Qt::MatchExactly).front());
    list->setCurrentRow(cardRow);
    EXPECT_EQ(dialog.FileName, "Card.set");
}

// A file that cannot be read is selected like any other, says so, and shows nothing under its
// name: the pages keep the last image read, OK refuses while it is selected, and the next file
// is one key press further.
TEST_F(CardDialogTest, AFileThatCannotBeLoadedIsSelectedAndOkRefusesIt) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    WriteSet("good.set", SampleImage(kMifareUid));
    {
        std::ofstream(Folder() + "bad.set", std::ios::binary) << std::string(256, 'x');
        std::ofstream(Folder() + "short.set", std::ios::binary) << std::string(100, 'x');
    }
    TPosParaForm& dialog = Open("gone.set", SampleImage(kFelicaBlock));
    auto* list = Find<QListWidget>("ListBox1");
    auto* status = Find<QStatusBar>("StatusBar1");
    ClickFile("bad.set");
    ASSERT_EQ(list->selectedItems().size(), 1);
    EXPECT_EQ(list->selectedItems().front()->text(), "bad.set");
    EXPECT_EQ(status->currentMessage(), "パラメータ読み取りエラー");
    EXPECT_EQ(dialog.FileName, "");
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(answers_.Texts(), std::vector<QString>{"パラメータ読み取りエラー"});

    ClickFile("good.set");
    EXPECT_EQ(status->currentMessage(), "パラメータファイルを選択してください");
    const CardParamImage shown = dialog.WorkImage;
    for (const char* name : {"bad.set", "short.set"}) {
        status->clearMessage();
        ClickFile(name);
        EXPECT_EQ(status->currentMessage(), "パラメータ読み取りエラー") << name;
        ASSERT_EQ(list->selectedItems().size(), 1) << name;
        EXPECT_EQ(list->selectedItems().front()->text(), name) << name;
        EXPECT_NE(dialog.FileName, name);
        EXPECT_EQ(Hex(dialog.WorkImage.Data(), 244), Hex(shown.Data(), 244)) << name;
        EXPECT_FALSE(Find<QWidget>("ViewParaPanel")->isEnabled()) << name;
    }
    std::filesystem::remove(Folder() + "Card.set");
    ClickFile("Card.set");  // listed, but gone by now
    EXPECT_EQ(list->selectedItems().front()->text(), "Card.set");
    EXPECT_EQ(status->currentMessage(), "パラメータ読み取りエラー");
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(answers_.Texts().size(), 2u);
    EXPECT_EQ(answers_.Texts().back(), "パラメータ読み取りエラー");

    ClickFile("good.set");
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), kResultOk);
    CardParamImage image{};
    std::string name;
    dialog.TakeResult(image, name);
    EXPECT_EQ(name, "good.set");
    EXPECT_EQ(Hex(image.Entries[0]), Hex(kMifareUid));
}

// The arrow keys walk the whole list, across a file that cannot be read.
TEST_F(CardDialogTest, ArrowKeysWalkAcrossAFileThatCannotBeRead) {
    WriteSet("a.set", SampleImage(kMifareUid));
    WriteSet("c.set", SampleImage(kFelicaBlock));
    WriteSet("e.set", SampleImage(kFelicaIdm));
    std::ofstream(Folder() + "b.set", std::ios::binary) << std::string(256, 'x');
    std::ofstream(Folder() + "d.set", std::ios::binary) << std::string(10, 'x');
    TPosParaForm& dialog = Open("", SampleImage(kFelicaIdm));
    auto* list = Find<QListWidget>("ListBox1");
    auto* status = Find<QStatusBar>("StatusBar1");
    ASSERT_EQ(list->count(), 5);
    ClickFile(list->item(0)->text());
    list->setFocus();
    for (int row = 0; row < list->count(); ++row) {
        if (row > 0) QTest::keyClick(list, Qt::Key_Down);
        const std::string name = list->item(row)->text().toStdString();
        SCOPED_TRACE(name);
        ASSERT_EQ(list->currentRow(), row);
        ASSERT_EQ(list->selectedItems().size(), 1);
        EXPECT_EQ(list->selectedItems().front()->text().toStdString(), name);
        const bool readable = ReadSet(name).Flags != 0xEE;
        if (readable) {
            EXPECT_EQ(dialog.FileName, name);
            EXPECT_EQ(Hex(dialog.WorkImage.Data(), 244), Hex(ReadSet(name).Data(), 244));
            EXPECT_NE(status->currentMessage(), "パラメータ読み取りエラー");
        } else {
            EXPECT_NE(dialog.FileName, name);
            EXPECT_EQ(status->currentMessage(), "パラメータ読み取りエラー");
        }
    }
    // And back up again.
    for (int row = list->count() - 2; row >= 0; --row) {
        QTest::keyClick(list, Qt::Key_Up);
        EXPECT_EQ(list->currentRow(), row);
    }
}

// A named pipe is no card-parameter file: it is not listed, and a listed file that has become
// one by the time it is clicked is refused at once instead of freezing the program until
// someone writes to the pipe.
TEST_F(CardDialogTest, ANamedPipeIsNotListedAndAClickOnOneReturnsAtOnce) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    WriteSet("x.set", SampleImage(kMifareUid));
    ASSERT_EQ(::mkfifo((Folder() + "pipe.set").c_str(), 0600), 0);
    TPosParaForm& dialog = Open("Card.set", SampleImage(kFelicaIdm));
    QStringList files = ListedFiles(Find<QListWidget>("ListBox1"));
    files.sort();
    EXPECT_EQ(files, (QStringList{"Card.set", "x.set"}));

    std::filesystem::remove(Folder() + "x.set");
    ASSERT_EQ(::mkfifo((Folder() + "x.set").c_str(), 0600), 0);
    {
        const tapwedge::test::BlockingGuard guard;
        ClickFile("x.set");
        EXPECT_FALSE(guard.Fired()) << "the click waited for a writer of the pipe";
    }
    EXPECT_EQ(Find<QStatusBar>("StatusBar1")->currentMessage(), "パラメータ読み取りエラー");
    EXPECT_EQ(dialog.FileName, "Card.set");
}

// Names that differ only in case are different files: the one spelled as the program uses it
// is selected, whichever the folder lists first.
TEST_F(CardDialogTest, TheFileInUseIsSelectedAmongNamesThatDifferOnlyInCase) {
    const char* const twins[] = {"card.set", "CARD.SET", "Card.set", "cARD.set"};
    for (const char* twin : twins) WriteSet(twin, SampleImage(kFelicaIdm));
    for (const char* given : twins) {
        TPosParaForm& dialog = Open(given, SampleImage(kMifareUid));
        auto* list = Find<QListWidget>("ListBox1");
        ASSERT_EQ(list->selectedItems().size(), 1) << given;
        EXPECT_EQ(list->selectedItems().front()->text(), given);
        EXPECT_EQ(dialog.FileName, given);
        dialog.OkBitBtnClick();
        CardParamImage image{};
        std::string name;
        dialog.TakeResult(image, name);
        EXPECT_EQ(name, given);
    }
    // Without an exact match, the first that matches without regard to case.
    TPosParaForm& dialog = Open("CaRd.SeT", SampleImage(kMifareUid));
    ASSERT_EQ(Find<QListWidget>("ListBox1")->selectedItems().size(), 1);
    EXPECT_TRUE(QString::fromStdString(dialog.FileName).compare("card.set", Qt::CaseInsensitive) == 0);
}

// OK in view mode hands back the selected file's own image, as read when it was selected, and
// never edits that were made in edit mode and then left unsaved.
TEST_F(CardDialogTest, OkInViewModeHandsBackTheSelectedFilesOwnImage) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    WriteSet("b.set", SampleImage(kFelicaBlock));
    const CardParamImage caller = SampleImage(kFelicaIdm);
    for (const char* clicked : {"", "Card.set", "b.set"}) {
        SCOPED_TRACE(clicked);
        TPosParaForm& dialog = Open("Card.set", caller);
        CardParamImage expected = caller;  // matched at opening: the image the program uses
        std::memset(expected.Tail, 0, sizeof expected.Tail);
        if (*clicked != '\0') {
            ClickFile(clicked);
            expected = ReadSet(clicked);
        }
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        Find<QLineEdit>("CSysCodeEdit1")->setText("4321");
        Find<QRadioButton>("CardRBtn2")->setChecked(true);  // stores parameter 1
        ASSERT_EQ(dialog.WorkImage.Entries[0].SystemCode(), 0x4321);
        Find<QCheckBox>("EditChkBtn")->setChecked(false);
        dialog.OkBitBtnClick();
        ASSERT_EQ(dialog.result(), kResultOk);
        CardParamImage image{};
        std::string name;
        EXPECT_EQ(dialog.TakeResult(image, name), 0);
        EXPECT_FALSE(dialog.KeptOnlyInMemory());
        EXPECT_EQ(name, *clicked != '\0' ? clicked : "Card.set");
        EXPECT_EQ(Hex(image.Data(), 244), Hex(expected.Data(), 244));
    }
}

// A change kept only in memory is no file: OK in view mode without a file selected says so
// instead of closing and losing the mark.
TEST_F(CardDialogTest, OkInViewModeWithoutAFileAfterAChangeKeptInMemory) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    CardParamImage caller = SampleImage(kFelicaBlock);
    caller.Flags = 0x80;
    TPosParaForm& dialog = Open("Card.set", caller);
    ASSERT_TRUE(Find<QCheckBox>("TempChkBox")->isChecked());
    Find<QCheckBox>("EditChkBtn")->setChecked(false);
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(answers_.Texts(), std::vector<QString>{"ファイルが選択されていません"});
    EXPECT_TRUE(answers_.InputPrompts.empty());
}

TEST_F(CardDialogTest, TemporaryChangeOpensInEditModeAndHandsBackUnsaved) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    CardParamImage caller = SampleImage(kFelicaBlock);
    caller.Flags = 0x80;
    TPosParaForm& dialog = Open("Card.set", caller);
    EXPECT_TRUE(Find<QListWidget>("ListBox1")->selectedItems().isEmpty());
    EXPECT_EQ(dialog.FileName, "");
    EXPECT_TRUE(Find<QCheckBox>("EditChkBtn")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("TempChkBox")->isChecked());
    EXPECT_TRUE(Find<QCheckBox>("TempChkBox")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("ViewParaPanel")->isEnabled());
    EXPECT_EQ(Find<QStatusBar>("StatusBar1")->currentMessage(), "一時的に変更されたパラメータです");

    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), kResultOk);
    EXPECT_TRUE(answers_.InputPrompts.empty());
    EXPECT_EQ(Hex(ReadSet("Card.set").Entries[0]), Hex(kFelicaIdm));  // not written
    CardParamImage image{};
    std::string name = "x";
    EXPECT_EQ(dialog.TakeResult(image, name), 0);
    EXPECT_EQ(name, "");
    EXPECT_EQ(image.Flags, 0x80);  // carried as it came
    EXPECT_EQ(Hex(image.Entries[0]), Hex(kFelicaBlock));
}

TEST_F(CardDialogTest, EditModeSwitchesPanelsAndStatus) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    Open("Card.set", SampleImage(kFelicaIdm));
    auto* edit = Find<QCheckBox>("EditChkBtn");
    auto* status = Find<QStatusBar>("StatusBar1");
    edit->setChecked(true);
    EXPECT_TRUE(Find<QWidget>("ViewParaPanel")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("TempChkBox")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("SelCardTypeCBox")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("SelCardTypeCBox2")->isEnabled());
    EXPECT_EQ(status->currentMessage(), "パラメータは既存ファイルを更新または新規ファイルへ保存します");
    auto* temp = Find<QCheckBox>("TempChkBox");
    temp->setChecked(true);
    EXPECT_EQ(status->currentMessage(), "編集したパラメータは保存されません");
    temp->setChecked(false);
    EXPECT_EQ(status->currentMessage(), "編集したパラメータは、OKボタンを押せば任意のファイルへ保存可能です");
    edit->setChecked(false);
    EXPECT_FALSE(Find<QWidget>("ViewParaPanel")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("TempChkBox")->isEnabled());
    EXPECT_EQ(status->currentMessage(), "パラメータファイルを選択してください");
}

// Edit mode on a dialog opened with Card.set listed.
class CardDialogEditTest : public CardDialogTest {
protected:
    TPosParaForm& OpenEditing(const CardParamImage& caller, std::uint16_t flags = 0) {
        WriteSet("Card.set", SampleImage(kFelicaIdm));
        TPosParaForm& dialog = Open("Card.set", caller, flags);
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        return dialog;
    }
};

TEST_F(CardDialogEditTest, OkSavesUnderTheTypedNameWithSetExtension) {
    const struct {
        const char *typed, *saved;
    } cases[] = {{"abc", "abc.set"}, {"abc.txt", "abc.set"}, {"x.set", "x.set"},
                 {"Card", "Card.set"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock, kMifareUid));
        std::vector<QString> captions, starts;
        std::vector<int> limits;
        tapwedge::app::SetInputBoxHook([&](const QString& caption, const QString& prompt,
                                           QString& text, int maxLength) {
            captions.push_back(caption);
            starts.push_back(text);
            limits.push_back(maxLength);
            EXPECT_EQ(prompt, "保存するファイル名：");
            text = QString::fromUtf8(c.typed);
            return true;
        });
        Find<QLineEdit>("CSysCodeEdit1")->setText("88B4");
        dialog.OkBitBtnClick();
        EXPECT_EQ(captions, std::vector<QString>{"ファイル名入力"});
        EXPECT_EQ(starts, std::vector<QString>{"Card.set"});
        EXPECT_EQ(limits, std::vector<int>{255});
        EXPECT_EQ(dialog.result(), kResultOk);
        EXPECT_EQ(dialog.FileName, c.saved);
        const CardParamImage saved = ReadSet(c.saved);
        EXPECT_EQ(Hex(saved.Data(), 244), Hex(dialog.WorkImage.Data(), 244));
        EXPECT_EQ(saved.Entries[0].SystemCode(), 0x88B4);
        EXPECT_EQ(Hex(saved.Entries[1]), Hex(kMifareUid));  // never shown: as it came
        EXPECT_EQ(Hex(saved.Entries[2]), Hex(SampleImage({}).Entries[2]));
        EXPECT_EQ(saved.Spare[0], 0x5A);
        EXPECT_EQ(saved.ReaderKeys.Id[0], 0x11);
        CardParamImage image{};
        std::string name;
        EXPECT_EQ(dialog.TakeResult(image, name), 1);
        EXPECT_EQ(name, c.saved);
        tapwedge::app::SetInputBoxHook({});
        dialog_.reset();
    }
    EXPECT_TRUE(answers_.Boxes.empty());
}

// An empty name, or one of blanks, would save the hidden file ".set": refused like a name with
// a folder, and asked for again.
TEST_F(CardDialogEditTest, AnEmptyFileNameIsRefusedAndAskedForAgain) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock));
    for (const char* typed : {"", "   ", ".set", "sub/x", "named"}) {
        answers_.Inputs.push_back({true, QString::fromUtf8(typed)});
    }
    dialog.OkBitBtnClick();
    EXPECT_EQ(answers_.InputPrompts.size(), 5u);
    EXPECT_EQ(answers_.Texts(), std::vector<QString>(4, "Paramter保存エラー"));
    EXPECT_EQ(dialog.result(), kResultOk);
    EXPECT_EQ(dialog.FileName, "named.set");
    EXPECT_TRUE(Exists("named.set"));
    EXPECT_FALSE(Exists(".set"));
    EXPECT_FALSE(Exists("   .set"));
}

TEST_F(CardDialogEditTest, CancelledOrRefusedNamesKeepTheDialogOpen) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock));
    answers_.Inputs.push_back({false, QString()});
    answers_.Inputs.push_back({true, "sub/abc"});
    answers_.Inputs.push_back({true, QString(252, QChar(u'a'))});  // 256 bytes with ".set"
    answers_.Inputs.push_back({true, QString(84, QChar(u'あ'))});  // 252 bytes + ".set"
    std::filesystem::create_directory(Folder() + "busy.set");
    answers_.Inputs.push_back({true, "busy"});
    for (int attempt = 0; attempt < 5; ++attempt) dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(answers_.Texts(), std::vector<QString>(4, "Paramter保存エラー"));
    // Refused names leave the file name; a failed write keeps the new one.
    EXPECT_EQ(dialog.FileName, "busy.set");
    EXPECT_FALSE(Exists("sub"));

    answers_.Inputs.push_back({true, QString(251, QChar(u'a'))});  // exactly 255 bytes
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), kResultOk);
    EXPECT_TRUE(Exists(std::string(251, 'a') + ".set"));
}

TEST_F(CardDialogEditTest, NoSaveHandsBackWithoutAskingForAName) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock));
    Find<QCheckBox>("TempChkBox")->setChecked(true);
    Find<QLineEdit>("CSysCodeEdit1")->setText("0003");
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.result(), kResultOk);
    EXPECT_TRUE(answers_.InputPrompts.empty());
    CardParamImage image{};
    std::string name;
    EXPECT_EQ(dialog.TakeResult(image, name), 0);
    EXPECT_EQ(name, "Card.set");
    EXPECT_EQ(image.Entries[0].SystemCode(), 0x0003);
    EXPECT_EQ(Hex(ReadSet("Card.set").Entries[0]), Hex(kFelicaIdm));
}

TEST_F(CardDialogEditTest, InvalidPageAtOkShowsItsMessageAndStaysOpen) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock));
    Find<QLineEdit>("CDataStartEdit10")->setText("16");
    answers_.Inputs.push_back({true, "never"});
    dialog.OkBitBtnClick();
    EXPECT_EQ(answers_.Texts(), std::vector<QString>{"カードパラメータのデータ開始位置エラー"});
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(answers_.Inputs.size(), 1u);
    EXPECT_EQ(Hex(dialog.WorkImage.Entries[0]), Hex(kFelicaBlock));  // the entry as it was
    EXPECT_EQ(Find<QLineEdit>("CDataStartEdit10")->text(), "16");   // the page as it was
}

TEST_F(CardDialogEditTest, FixedWidthsAreStoredWithThePage) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaBlock));
    Find<QCheckBox>("TempChkBox")->setChecked(true);
    Find<QLineEdit>("PosOutDtEdit1")->setText("12");
    Find<QLineEdit>("PosOutDtEdit2")->setText("");
    dialog.OkBitBtnClick();
    EXPECT_EQ(dialog.WorkImage.Width1, 12);
    EXPECT_EQ(dialog.WorkImage.Width2, 0);

    TPosParaForm& again = OpenEditing(SampleImage(kFelicaBlock));
    Find<QLineEdit>("PosOutDtEdit1")->setText("-1");
    again.OkBitBtnClick();
    EXPECT_EQ(answers_.Texts(), std::vector<QString>{"固定ﾃﾞｰﾀ長エラー"});
    EXPECT_EQ(again.WorkImage.Width1, 3);
    EXPECT_EQ(again.result(), 0);
}

TEST_F(CardDialogTest, EscapeAndCancelGiveCancel) {
    TPosParaForm& dialog = Open("Card.set", CardParamImage{});
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_EQ(dialog.result(), kResultCancel);
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    QTest::mouseClick(Find<QPushButton>("CacelBitBtn"), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), kResultCancel);
}

// A file the dialog saved is read by the card-read engine as the entries the pages showed.
TEST_F(CardDialogEditTest, SavedFileDecodesIntoTheEngineEntries) {
    TPosParaForm& dialog = OpenEditing(SampleImage(kFelicaIdm));
    Find<QRadioButton>("BlockRBtn1")->setChecked(true);
    Find<QComboBox>("CCodeCombBox1")->setCurrentIndex(3);
    Find<QLineEdit>("CSysCodeEdit1")->setText("FE00");
    Find<QLineEdit>("ServiceCodeEdit1")->setText("100B");
    Find<QLineEdit>("ServiceCodeEdit11")->setText("200B");
    Find<QLineEdit>("CDataBlkEdit10")->setText("2");
    Find<QLineEdit>("CDataStartEdit10")->setText("4");
    Find<QLineEdit>("CDataLenEdit10")->setText("12");
    Find<QLineEdit>("CDataLenEdit11")->setText("0");
    Find<QLineEdit>("PosOutDtEdit1")->setText("40");
    Find<QLineEdit>("PosOutDtEdit2")->setText("0");
    Find<QRadioButton>("CardRBtn2")->setChecked(true);
    auto* kind2 = Find<QComboBox>("SelCardTypeCBox2");
    kind2->setCurrentIndex(1);
    emit kind2->activated(1);
    Find<QRadioButton>("MifDataRBtn")->setChecked(true);
    Find<QRadioButton>("MifKeyARBtn")->setChecked(true);
    Find<QLineEdit>("MifKeyBlkEdit")->setText("08");
    Find<QLineEdit>("MifDataBlkEdit10")->setText("08");
    Find<QLineEdit>("MifDataStartEdit10")->setText("0");
    Find<QLineEdit>("MifDataLenEdit10")->setText("16");
    Find<QLineEdit>("MifDataBlkEdit11")->setText("09");
    Find<QLineEdit>("MifDataLenEdit11")->setText("4");
    Find<QCheckBox>("MifUltraChkBox1")->setChecked(false);
    answers_.Inputs.push_back({true, "engine"});
    dialog.OkBitBtnClick();
    ASSERT_EQ(dialog.result(), kResultOk);

    const CardParamImage saved = ReadSet("engine.set");
    tapwedge::CardReadEngine engine;
    ASSERT_EQ(engine.DecodeCardParams(saved.Data(), 1, 0x42), 0);
    const tapwedge::DecodedEntry& felica = engine.Entries[0];
    EXPECT_EQ(felica.Kind, 0x9301);
    EXPECT_EQ(tapwedge::FamilyOf(felica.Kind), tapwedge::CardFamily::Felica);
    EXPECT_EQ(tapwedge::OutputCodeOf(felica.Kind), tapwedge::kOutputDecimalBytes);
    EXPECT_EQ(felica.SystemCode, 0xFE00);
    EXPECT_EQ(felica.ServiceCode, 0x100B);
    EXPECT_EQ(felica.SecondServiceCode, 0x200B);
    EXPECT_EQ(felica.Block[0], 2);
    EXPECT_EQ(felica.Start[0], 4);
    EXPECT_EQ(felica.Length[0], 12);
    EXPECT_EQ(felica.Length[1], 0);
    const tapwedge::DecodedEntry& mifare = engine.Entries[1];
    EXPECT_EQ(mifare.Kind, 0x9243);  // two areas, key A, 4-byte UIDs, block area
    EXPECT_EQ(tapwedge::FamilyOf(mifare.Kind), tapwedge::CardFamily::Mifare);
    EXPECT_EQ(mifare.Kind & tapwedge::kKindMifareKeyType, 0);
    EXPECT_EQ((mifare.Kind & tapwedge::kKindMifareUidSize) >> 1, 1);
    EXPECT_EQ(mifare.Block[0], 8);
    EXPECT_EQ(mifare.Length[0], 16);
    EXPECT_EQ(mifare.Block[1], 9);
    EXPECT_EQ(mifare.Length[1], 4);
    EXPECT_EQ(tapwedge::FamilyOf(engine.Entries[2].Kind), tapwedge::CardFamily::Mifare);
    EXPECT_EQ(engine.Width1, 40);
    EXPECT_EQ(engine.Width2, 0);
}

}  // namespace
}  // namespace card_dialog_test
