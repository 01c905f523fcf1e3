// What the number and hexadecimal boxes of the card-parameter dialog take, by every way text
// comes in (typed, committed by an input method, pasted), and that what a box shows is what the
// image stores: the value comes back in the box when the stored image is shown again, or OK
// refuses it with a message that names the box.
#include <QCheckBox>
#include <QInputMethodEvent>
#include <QLineEdit>

#include <functional>
#include <vector>

#include "card_dialog_fixture.h"
#include "core/card_pages.h"
#include "edit_paste.h"

namespace card_dialog_test {
namespace {

using tapwedge::app::kResultOk;

constexpr std::uint16_t kAllOffered = 0xC0;

// Block-area entries with values that leave room for the typed ones on every page.
const CardEntry kTypeABlocks = EntryOf({{0, 0x92}, {1, 0x41}, {8, 0x3C}, {13, 0x0D}, {24, 1},
                                        {26, 4}, {29, 2}, {31, 2}});
const CardEntry kIsoBlocks = EntryOf({{0, 0x92}, {1, 0xC1}, {26, 4}, {29, 1}, {31, 2}});

// Characters beyond ASCII come as a key press with that text, as a layout that has them (or
// xdotool) sends them.
void Type(QLineEdit* edit, const QString& text) {
    edit->clear();
    for (const QChar c : text) {
        if (c.unicode() < 128) {
            QTest::keyClick(edit, static_cast<char>(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    }
}

// The text as a Japanese input method commits it: one event with the whole text.
void Commit(QLineEdit* edit, const QString& text) {
    edit->clear();
    QInputMethodEvent event;
    event.setCommitString(text);
    QCoreApplication::sendEvent(edit, &event);
}

void PasteIn(QLineEdit* edit, const QString& text) {
    edit->clear();
    tapwedge_test::Paste(edit, text, tapwedge_test::PasteWays().front());
}

struct Way {
    const char* name;
    void (*enter)(QLineEdit*, const QString&);
};
const Way kWays[] = {{"typed", Type}, {"committed", Commit}, {"pasted", PasteIn}};

struct Input {
    QString entered;
    QString shown;  // what the box shows
    QString shownAgain = {};  // the stored image shown again; empty: as shown
    const char* refusal = nullptr;  // OK's message when the value cannot be stored as shown
};

const std::vector<Input> kHex4 = {
    {"１２ａＦ", "12AF"}, {"12af", "12AF"}, {"あ1-2ｇ3ｚ4é", "1234"}};
const std::vector<Input> kHex2 = {{"ａ１", "A1"}, {"a1", "A1"}, {"ｇあ-ｚa1", "A1"}};
const std::vector<Input> kDecimal2 = {{"１２", "12"}, {"12", "12"}, {"あ1ｚ-2．", "12"}};
const std::vector<Input> kDecimal1 = {{"１", "1"}, {"1", "1"}, {"あｚ-1", "1"}};
// No key filter of its own: letters beyond the hexadecimal digits reach the box and OK.
const std::vector<Input> kAfi = {{"ｆＦ", "fF", "FF"},
                                 {"a5", "a5", "A5"},
                                 {"ｚｚ", "zz", "", tapwedge::kAfiError},
                                 {"あ", "あ", "", tapwedge::kAfiError}};
const std::vector<Input> kWidth = {{"１２", "12"},
                                   {"12", "12"},
                                   {"ｚ", "z", "", tapwedge::kFixedWidthError},
                                   {"あ", "あ", "", tapwedge::kFixedWidthError}};

struct Box {
    const char* name;
    const CardEntry* entry;  // parameter 1, shown on its page
    const std::vector<Input>* inputs;
    void (TPosParaForm::*leave)() = nullptr;  // the box's handler on leaving it
};

const Box kBoxes[] = {
    {"CSysCodeEdit1", &kFelicaBlock, &kHex4},
    {"ServiceCodeEdit1", &kFelicaBlock, &kHex4},
    {"ServiceCodeEdit11", &kFelicaBlock, &kHex4},
    {"CDataBlkEdit10", &kFelicaBlock, &kDecimal2},
    {"CDataStartEdit10", &kFelicaBlock, &kDecimal2},
    {"CDataLenEdit10", &kFelicaBlock, &kDecimal2},
    {"CDataBlkEdit11", &kFelicaBlock, &kDecimal2},
    {"CDataStartEdit11", &kFelicaBlock, &kDecimal2},
    {"CDataLenEdit11", &kFelicaBlock, &kDecimal2},
    {"PosOutDtEdit1", &kFelicaBlock, &kWidth},
    {"PosOutDtEdit2", &kFelicaBlock, &kWidth},
    {"MifKeyBlkEdit", &kTypeABlocks, &kHex2, &TPosParaForm::MifKeyBlkEditExit},
    {"MifDataStartEdit10", &kTypeABlocks, &kDecimal2},
    {"MifDataLenEdit10", &kTypeABlocks, &kDecimal2},
    {"MifDataBlkEdit11", &kTypeABlocks, &kHex2},
    {"MifDataStartEdit11", &kTypeABlocks, &kDecimal2},
    {"MifDataLenEdit11", &kTypeABlocks, &kDecimal2},
    {"ICAfiEdit", &kIsoBlocks, &kAfi},
    {"ICDataBlkEdit10", &kIsoBlocks, &kDecimal2},
    {"ICDataStartEdit10", &kIsoBlocks, &kDecimal1},
    {"ICDataLenEdit10", &kIsoBlocks, &kDecimal2},
    {"ICDataBlkEdit11", &kIsoBlocks, &kDecimal2},
    {"ICDataStartEdit11", &kIsoBlocks, &kDecimal1},
    {"ICDataLenEdit11", &kIsoBlocks, &kDecimal2},
};

TEST_F(CardDialogTest, EveryNumberBoxStoresWhatItShows) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    for (const Box& box : kBoxes) {
        for (const Input& input : *box.inputs) {
            for (const Way& way : kWays) {
                SCOPED_TRACE(std::string(box.name) + " " + way.name + " " +
                             input.entered.toStdString());
                TPosParaForm& dialog = Open("Card.set", SampleImage(*box.entry), kAllOffered);
                Find<QCheckBox>("EditChkBtn")->setChecked(true);
                auto* edit = Find<QLineEdit>(box.name);
                ASSERT_TRUE(edit->isVisibleTo(&dialog));
                way.enter(edit, input.entered);
                EXPECT_EQ(edit->text(), input.shown);
                if (box.leave != nullptr) (dialog.*box.leave)();
                Find<QCheckBox>("TempChkBox")->setChecked(true);
                const std::size_t boxesBefore = answers_.Texts().size();
                dialog.OkBitBtnClick();
                if (input.refusal != nullptr) {
                    EXPECT_EQ(dialog.result(), 0);
                    ASSERT_EQ(answers_.Texts().size(), boxesBefore + 1);
                    EXPECT_EQ(answers_.Texts().back(), QString::fromUtf8(input.refusal));
                    continue;
                }
                ASSERT_EQ(dialog.result(), kResultOk);
                CardParamImage image{};
                std::string name;
                dialog.TakeResult(image, name);
                Open("", image, kAllOffered);
                const QString again = input.shownAgain.isEmpty() ? input.shown : input.shownAgain;
                EXPECT_EQ(Find<QLineEdit>(box.name)->text(), again);
            }
        }
    }
}

// Text an input method is still composing is not shown in a box: only committed text is, and
// that passes the box's filter.
TEST_F(CardDialogTest, ComposingTextIsNotShownInANumberBox) {
    WriteSet("Card.set", SampleImage(kFelicaIdm));
    Open("Card.set", SampleImage(kFelicaBlock));
    Find<QCheckBox>("EditChkBtn")->setChecked(true);
    auto* edit = Find<QLineEdit>("CDataLenEdit10");
    edit->setText("8");
    edit->end(false);
    QInputMethodEvent composing(QStringLiteral("１６"), {});
    QCoreApplication::sendEvent(edit, &composing);
    EXPECT_EQ(edit->text(), "8");
    EXPECT_EQ(edit->displayText(), "8");
    QInputMethodEvent committed;
    committed.setCommitString(QStringLiteral("１"));
    QCoreApplication::sendEvent(edit, &committed);
    EXPECT_EQ(edit->text(), "81");
}

}  // namespace
}  // namespace card_dialog_test
