// The output settings dialog with its real widgets: the enabling rules after creation and on
// clicks, the wait-time key filter, the folder browser, the file-name check on OK and the copy
// back of every setting.
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "app/output_settings_form.h"
#include "app/ui_hooks.h"
#include "core/settings_io.h"
#include "edit_paste.h"
#include "ui_answers.h"

namespace {

using tapwedge::OutputItems;
using tapwedge::OutputOptions;
using tapwedge::app::kResultCancel;
using tapwedge::app::kResultOk;
using tapwedge::app::TForm2;

// The dialog and its controls, found by their names.
struct Dialog {
    Dialog(const OutputOptions& options, const OutputItems& items) : form(nullptr, options, items) {}

    template <typename T>
    T* Get(const char* name) {
        T* control = form.findChild<T*>(QString::fromLatin1(name));
        if (control == nullptr) ADD_FAILURE() << "no control " << name;
        return control;
    }
    QCheckBox* Check(const char* name) { return Get<QCheckBox>(name); }
    QLineEdit* Edit(const char* name) { return Get<QLineEdit>(name); }
    void Ok() { Get<QPushButton>("OkBtn")->click(); }

    TForm2 form;
};

void ExpectSame(const OutputItems& got, const OutputItems& want) {
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].Enabled, want[i].Enabled);
        EXPECT_EQ(got[i].Separator, want[i].Separator);
    }
}

void ExpectSame(const OutputOptions& got, const OutputOptions& want) {
    EXPECT_EQ(got.Beep, want.Beep);
    EXPECT_EQ(got.UidNormalOrder, want.UidNormalOrder);
    EXPECT_EQ(got.KeyboardOutput, want.KeyboardOutput);
    EXPECT_EQ(got.FileOutput, want.FileOutput);
    EXPECT_EQ(got.StartStopped, want.StartStopped);
    EXPECT_EQ(got.CaseSwitch, want.CaseSwitch);
    EXPECT_EQ(got.CsvFolder, want.CsvFolder);
    EXPECT_EQ(got.CsvFileName, want.CsvFileName);
    EXPECT_EQ(got.WaitTime, want.WaitTime);
    EXPECT_EQ(got.ReplaceKey, want.ReplaceKey);
}

OutputItems Items(std::uint8_t id0, std::uint8_t id3) {
    OutputItems items;
    items[0].Enabled = id0;
    items[3].Enabled = id3;
    return items;
}

TEST(OutputSettingsForm, IdBeforeAndAfterTheDataExcludeEachOther) {
    struct Case {
        std::uint8_t id0, id3;
        bool checked1, enabled1, checked4, enabled4;
    };
    const Case cases[] = {
        {0, 0, false, true, false, true},
        {1, 0, true, true, false, false},
        {0, 1, false, false, true, true},
        {1, 1, false, false, true, true},  // the later item wins, as set last
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.id0) << "," << int(c.id3));
        Dialog d(OutputOptions{}, Items(c.id0, c.id3));
        EXPECT_EQ(d.Check("OutChkBox1")->text(), QStringLiteral("1. IDm/UID"));
        EXPECT_EQ(d.Check("OutChkBox1")->isChecked(), c.checked1);
        EXPECT_EQ(d.Check("OutChkBox1")->isEnabled(), c.enabled1);
        EXPECT_EQ(d.Check("OutChkBox4")->isChecked(), c.checked4);
        EXPECT_EQ(d.Check("OutChkBox4")->isEnabled(), c.enabled4);
    }

    // "4." on, "1." off and disabled; unchecking "4." frees "1."; OK with neither disables both.
    Dialog d(OutputOptions{}, Items(0, 1));
    d.Check("OutChkBox4")->click();
    EXPECT_TRUE(d.Check("OutChkBox1")->isEnabled());
    EXPECT_TRUE(d.Check("OutChkBox4")->isEnabled());
    d.Check("OutChkBox1")->click();
    EXPECT_FALSE(d.Check("OutChkBox4")->isEnabled());
    d.Check("OutChkBox1")->click();
    d.Ok();
    OutputItems items = Items(1, 1);
    OutputOptions options;
    ASSERT_TRUE(d.form.Apply(items, options));
    EXPECT_EQ(items[0].Enabled, 0);
    EXPECT_EQ(items[3].Enabled, 0);
}

TEST(OutputSettingsForm, DestinationBoxesEnableTheirControls) {
    for (const bool keyboard : {false, true}) {
        for (const bool file : {false, true}) {
            SCOPED_TRACE(testing::Message() << "keyboard " << keyboard << ", file " << file);
            OutputOptions stored;
            stored.KeyboardOutput = keyboard;
            stored.FileOutput = file;
            stored.CsvFolder = "/srv/読み取り/";
            stored.CsvFileName = "card.csv";
            stored.WaitTime = 250;
            Dialog d(stored, OutputItems{});
            const auto expectEnabled = [&](bool wait, bool files) {
                EXPECT_EQ(d.Edit("WaitTimeEdit")->isEnabled(), wait);
                EXPECT_EQ(d.Edit("FolderEdit")->isEnabled(), files);
                EXPECT_EQ(d.Edit("FileEdit")->isEnabled(), files);
                EXPECT_EQ(d.Get<QToolButton>("FolderSelectSBtn")->isEnabled(), files);
            };
            expectEnabled(keyboard, file);
            EXPECT_TRUE(d.Edit("FolderEdit")->isReadOnly());
            d.Check("OutKeybordCBox")->click();
            d.Check("OutFileCBox")->click();
            expectEnabled(!keyboard, !file);
            d.Check("OutKeybordCBox")->click();
            d.Check("OutFileCBox")->click();
            expectEnabled(keyboard, file);

            d.Ok();
            OutputOptions applied;
            OutputItems items;
            ASSERT_TRUE(d.form.Apply(items, applied));
            ExpectSame(applied, stored);
        }
    }
}

TEST(OutputSettingsForm, WaitTypedBeforeKeyboardOutputIsSwitchedOffIsStillApplied) {
    Dialog d(OutputOptions{}, OutputItems{});
    QLineEdit* wait = d.Edit("WaitTimeEdit");
    wait->clear();
    QTest::keyClicks(wait, "75");
    d.Check("OutKeybordCBox")->click();
    EXPECT_FALSE(wait->isEnabled());
    d.Ok();
    OutputItems items;
    OutputOptions options;
    ASSERT_TRUE(d.form.Apply(items, options));
    EXPECT_EQ(options.KeyboardOutput, 0);
    EXPECT_EQ(options.WaitTime, 75);
}

TEST(OutputSettingsForm, EverySettingComesBackOnOkAndNothingOnCancel) {
    const OutputItems itemsA{{{0, 1, 0}, {0, 1, 1}, {0, 0, 2}, {0, 0, 0}}};
    const OutputOptions optionsA{.Beep = 0, .UidNormalOrder = 1, .KeyboardOutput = 1,
                                 .FileOutput = 1, .StartStopped = 1, .CaseSwitch = 1,
                                 .CsvFolder = "/var/csv/", .CsvFileName = "読み取り.csv",
                                 .WaitTime = 999, .ReplaceKey = 3};
    const OutputItems itemsB{{{0, 0, 2}, {0, 0, 1}, {0, 1, 0}, {0, 1, 2}}};
    // A stored wait longer than typing allows is kept whole.
    const OutputOptions optionsB{.Beep = 1, .UidNormalOrder = 0, .KeyboardOutput = 0,
                                 .FileOutput = 0, .StartStopped = 0, .CaseSwitch = 0,
                                 .CsvFolder = "/", .CsvFileName = "読み 取り.csv", .WaitTime = 1500,
                                 .ReplaceKey = 2};

    const std::pair<OutputItems, OutputOptions> records[] = {{itemsA, optionsA},
                                                              {itemsB, optionsB}};
    for (const auto& [items, options] : records) {
        Dialog d(options, items);
        QTimer::singleShot(0, &d.form, [&] { d.Ok(); });
        EXPECT_EQ(d.form.exec(), kResultOk);
        OutputItems gotItems;
        OutputOptions gotOptions;
        ASSERT_TRUE(d.form.Apply(gotItems, gotOptions));
        ExpectSame(gotItems, items);
        ExpectSame(gotOptions, options);
    }

    // Cancel, Escape and the window's close leave the records alone.
    const std::function<void(Dialog&)> closers[] = {
        [](Dialog& d) { d.Get<QPushButton>("CancelBtn")->click(); },
        [](Dialog& d) { QTest::keyClick(&d.form, Qt::Key_Escape); },
        [](Dialog& d) { d.form.close(); },
    };
    for (const auto& closeIt : closers) {
        Dialog d(optionsA, itemsA);
        d.Check("OutChkBox2")->click();
        QTimer::singleShot(0, &d.form, [&] { closeIt(d); });
        EXPECT_EQ(d.form.exec(), kResultCancel);
        OutputItems gotItems = itemsB;
        OutputOptions gotOptions = optionsB;
        EXPECT_FALSE(d.form.Apply(gotItems, gotOptions));
        ExpectSame(gotItems, itemsB);
        ExpectSame(gotOptions, optionsB);
    }
}

TEST(OutputSettingsForm, ValuesWithoutAChoiceApplyAsZero) {
    struct Case {
        const char* name;
        std::function<void(OutputItems&, OutputOptions&)> stored;
        std::function<void(Dialog&)> edit;
        std::function<void(const OutputItems&, const OutputOptions&)> check;
    };
    const Case cases[] = {
        {"separator outside the list",
         [](OutputItems& i, OutputOptions&) { i[2].Separator = 5; }, [](Dialog&) {},
         [](const OutputItems& i, const OutputOptions&) { EXPECT_EQ(i[2].Separator, 0); }},
        {"replace key above 3", [](OutputItems&, OutputOptions& o) { o.ReplaceKey = 7; },
         [](Dialog& d) { EXPECT_EQ(d.Get<QComboBox>("ReplaceCBox")->currentIndex(), -1); },
         [](const OutputItems&, const OutputOptions& o) { EXPECT_EQ(o.ReplaceKey, 0); }},
        {"replace key below 0", [](OutputItems&, OutputOptions& o) { o.ReplaceKey = -1; },
         [](Dialog&) {},
         [](const OutputItems&, const OutputOptions& o) { EXPECT_EQ(o.ReplaceKey, 0); }},
        {"empty wait", [](OutputItems&, OutputOptions& o) { o.WaitTime = 40; },
         [](Dialog& d) { d.Edit("WaitTimeEdit")->clear(); },
         [](const OutputItems&, const OutputOptions& o) { EXPECT_EQ(o.WaitTime, 0); }},
        {"wait that is not a number", [](OutputItems&, OutputOptions& o) { o.WaitTime = 40; },
         [](Dialog& d) { d.Edit("WaitTimeEdit")->setText(QStringLiteral("4é")); },
         [](const OutputItems&, const OutputOptions& o) { EXPECT_EQ(o.WaitTime, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputItems items;
        OutputOptions options;
        c.stored(items, options);
        Dialog d(options, items);
        c.edit(d);
        d.Ok();
        ASSERT_TRUE(d.form.Apply(items, options));
        c.check(items, options);
    }
}

TEST(OutputSettingsForm, WaitTimeKeyFilter) {
    const auto type = [](QLineEdit* edit, const QString& text) {
        for (const QChar c : text) {
            QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
        }
    };
    struct Case {
        const char* name;
        std::function<void(QLineEdit*)> keys;
        QString text;
        std::int32_t applied;
    };
    const Case cases[] = {
        {"digits", [&](QLineEdit* e) { type(e, "25"); }, "25", 25},
        {"letters dropped", [&](QLineEdit* e) { type(e, "a1Z2"); }, "12", 12},
        {"signs, blanks and DEL dropped", [&](QLineEdit* e) { type(e, "-+ .5\x7f"); }, "5", 5},
        {"Backspace passes",
         [&](QLineEdit* e) { type(e, "123"), QTest::keyClick(e, Qt::Key_Backspace); }, "12", 12},
        {"Delete key passes",
         [&](QLineEdit* e) {
             type(e, "78");
             QTest::keyClick(e, Qt::Key_Home);
             QTest::keyClick(e, Qt::Key_Delete);
         },
         "8", 8},
        {"a fourth digit refused", [&](QLineEdit* e) { type(e, "9876"); }, "987", 987},
        {"other characters beyond ASCII dropped",
         [&](QLineEdit* e) { type(e, QStringLiteral("1\u00e9\u00ff\u3042")); }, "1", 1},
        {"full-width digits typed", [&](QLineEdit* e) { type(e, QStringLiteral("２５０")); }, "250",
         250},
        {"full-width digits committed by an input method",
         [&](QLineEdit* e) {
             QInputMethodEvent composing(QStringLiteral("７"), {});
             QCoreApplication::sendEvent(e, &composing);
             QInputMethodEvent event;
             event.setCommitString(QStringLiteral("１２ｚ"));
             QCoreApplication::sendEvent(e, &event);
         },
         "12", 12},
        {"full-width digits pasted",
         [&](QLineEdit* e) {
             tapwedge_test::Paste(e, QStringLiteral("３４"), tapwedge_test::PasteWays().front());
         },
         "34", 34},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputOptions options;
        Dialog d(options, OutputItems{});
        QLineEdit* edit = d.Edit("WaitTimeEdit");
        EXPECT_FALSE(edit->testAttribute(Qt::WA_InputMethodEnabled));
        edit->clear();
        c.keys(edit);
        EXPECT_EQ(edit->text(), c.text);
        d.Ok();
        OutputItems items;
        ASSERT_TRUE(d.form.Apply(items, options));
        EXPECT_EQ(options.WaitTime, c.applied);
    }
}

TEST(OutputSettingsForm, FolderBrowserStartsAtTheCurrentFolder) {
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    const QString start = QDir(temp.path()).canonicalPath();
    struct Case {
        QString current;
        tapwedge_test::UiAnswers::Entry answer;
        QString folderEdit;
    };
    const Case cases[] = {
        {start, {true, "/"}, "/"},
        {start, {true, "/srv/csv"}, "/srv/csv/"},
        {start, {true, "/srv/csv//"}, "/srv/csv/"},
        {"/", {true, start}, start + "/"},
        {start, {false, "/elsewhere"}, "/stored/"},
    };
    const QString previous = QDir::currentPath();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.answer.Text.toStdString());
        ASSERT_TRUE(QDir::setCurrent(c.current));
        tapwedge_test::UiAnswers answers;
        answers.Folders.push_back(c.answer);
        OutputOptions options;
        options.FileOutput = 1;
        options.CsvFolder = "/stored/";
        Dialog d(options, OutputItems{});
        d.Get<QToolButton>("FolderSelectSBtn")->click();
        ASSERT_EQ(answers.FolderTitles.size(), 1u);
        EXPECT_EQ(answers.FolderTitles[0], QStringLiteral("保存先Forderを選択してください"));
        EXPECT_EQ(answers.FolderStarts[0], c.current);
        EXPECT_EQ(d.Edit("FolderEdit")->text(), c.folderEdit);
    }
    QDir::setCurrent(previous);

    // The browser is given the folder without its trailing "/", except the root.
    for (const auto& [given, passed] : {std::pair{"/srv/csv/", "/srv/csv"}, std::pair{"/", "/"}}) {
        tapwedge_test::UiAnswers answers;
        QString folder = QString::fromLatin1(given);
        EXPECT_FALSE(TForm2::BrowseFolder(nullptr, folder, "t"));
        EXPECT_EQ(folder, QString::fromLatin1(given));
        EXPECT_EQ(answers.FolderStarts.at(0), QString::fromLatin1(passed));
    }
}

TEST(OutputSettingsForm, OkRefusesAFileNameThatCannotNameAFile) {
    struct Case {
        bool fileOutput;
        QString name;
        bool accepted;
    };
    const Case cases[] = {
        {true, "", false},        {true, "sub/log.csv", false}, {true, "/log.csv", false},
        {true, ".", false},       {true, "..", false},          {true, "log.csv", true},
        {true, "..csv", true},    {false, "sub/log.csv", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileOutput << " '" << c.name.toStdString() << "'");
        tapwedge_test::UiAnswers answers;
        OutputOptions options;
        options.FileOutput = c.fileOutput;
        options.CsvFileName = c.name.toStdString();
        Dialog d(options, OutputItems{});
        d.form.show();
        d.Ok();
        OutputItems items;
        OutputOptions applied;
        if (c.accepted) {
            EXPECT_TRUE(answers.Boxes.empty());
            EXPECT_FALSE(d.form.isVisible());
            ASSERT_TRUE(d.form.Apply(items, applied));
            EXPECT_EQ(applied.CsvFileName, options.CsvFileName);
            continue;
        }
        ASSERT_EQ(answers.Boxes.size(), 1u);
        EXPECT_EQ(answers.Boxes[0].Icon, tapwedge::app::BoxIcon::Warning);
        EXPECT_TRUE(d.form.isVisible());
        EXPECT_FALSE(d.form.Apply(items, applied));
        // Corrected, the name is taken.
        d.Edit("FileEdit")->setText("log.csv");
        d.Ok();
        EXPECT_FALSE(d.form.isVisible());
        ASSERT_TRUE(d.form.Apply(items, applied));
        EXPECT_EQ(applied.CsvFileName, "log.csv");
    }
}

TEST(OutputSettingsForm, FileNameIsTrimmedAndReadsBackAsSaved) {
    struct Case {
        bool fileOutput;
        QString typed;
        const char* applied;  // nullptr: refused
    };
    const Case cases[] = {
        {true, " out.csv ", "out.csv"},
        {true, "\tlog 1.csv\t", "log 1.csv"},
        {false, "  読み取り.csv", "読み取り.csv"},
        {true, "   ", nullptr},
        {false, " \t ", "log.csv"},  // file output off: the previous name stays
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.fileOutput << " '" << c.typed.toStdString() << "'");
        tapwedge_test::UiAnswers answers;
        OutputOptions options;
        options.FileOutput = 1;
        Dialog d(options, OutputItems{});
        d.form.show();
        d.Edit("FileEdit")->setText(c.typed);
        if (!c.fileOutput) d.Check("OutFileCBox")->click();
        d.Ok();
        OutputItems items;
        OutputOptions applied;
        if (c.applied == nullptr) {
            EXPECT_TRUE(d.form.isVisible());
            ASSERT_EQ(answers.Texts().size(), 1u);
            EXPECT_EQ(answers.Texts()[0], QStringLiteral("ファイル名を入力してください。"));
            EXPECT_FALSE(d.form.Apply(items, applied));
            continue;
        }
        EXPECT_TRUE(answers.Boxes.empty());
        ASSERT_TRUE(d.form.Apply(items, applied));
        EXPECT_EQ(applied.CsvFileName, c.applied);

        // Saved and loaded as the settings menu and the next start do.
        QTemporaryDir folder;
        ASSERT_TRUE(folder.isValid());
        const std::string programFolder = folder.path().toStdString() + "/";
        tapwedge::AppSettings saved = tapwedge::AppSettings::Defaults(programFolder);
        saved.OutputOptions = applied;
        tapwedge::SaveSettings(saved, 1, tapwedge::kIniFileName, programFolder);
        tapwedge::AppSettings loaded = tapwedge::AppSettings::Defaults(programFolder);
        tapwedge::LoadSettings(loaded, tapwedge::kIniFileName, programFolder);
        EXPECT_EQ(loaded.OutputOptions.CsvFileName, applied.CsvFileName);
    }
}

// A name that would not read back from the settings file (a line break cuts it there) or that no
// CSV line should go to is refused by OK, with a message that names the field.
TEST(OutputSettingsForm, NamesWithControlCharactersAreRefusedNamingTheField) {
    const struct {
        const char* field;
        QString text;
        QString named;
    } cases[] = {
        {"FileEdit", QStringLiteral("a\nb.csv"), QStringLiteral("ファイル名")},
        {"FileEdit", QStringLiteral("log\t1.csv"), QStringLiteral("ファイル名")},
        {"FileEdit", QStringLiteral("log\x7f.csv"), QStringLiteral("ファイル名")},
        {"FolderEdit", QStringLiteral("/tmp/a\rb/"), QStringLiteral("フォルダ名")},
        {"FolderEdit", QStringLiteral("/tmp/line\nbreak/"), QStringLiteral("フォルダ名")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        tapwedge_test::UiAnswers answers;
        OutputOptions options;
        options.FileOutput = 1;
        options.CsvFolder = "/tmp/";
        Dialog d(options, OutputItems{});
        d.form.show();
        d.Edit(c.field)->setText(c.text);
        d.Ok();
        EXPECT_TRUE(d.form.isVisible());
        ASSERT_EQ(answers.Texts().size(), 1u);
        EXPECT_TRUE(answers.Texts()[0].contains(c.named)) << answers.Texts()[0].toStdString();
        OutputItems items;
        OutputOptions applied;
        EXPECT_FALSE(d.form.Apply(items, applied));
    }
}

// With file output off the name is not used: an empty or unusable one keeps the name before the
// dialog; with file output on, the message leaves the name's field selected.
TEST(OutputSettingsForm, WithFileOutputOffAnEmptyOrUnusableNameKeepsThePreviousOne) {
    for (const QString& typed : {QString(), QStringLiteral("a\nb.csv")}) {
        SCOPED_TRACE(typed.toStdString());
        tapwedge_test::UiAnswers answers;
        OutputOptions options;
        options.FileOutput = 1;
        options.CsvFolder = "/tmp/";
        options.CsvFileName = "cards.csv";
        Dialog d(options, OutputItems{});
        d.form.show();
        d.Edit("FileEdit")->setText(typed);
        d.Check("OutFileCBox")->click();
        d.Ok();
        EXPECT_TRUE(answers.Boxes.empty());
        EXPECT_FALSE(d.form.isVisible());
        OutputItems items;
        OutputOptions applied;
        ASSERT_TRUE(d.form.Apply(items, applied));
        EXPECT_EQ(applied.FileOutput, 0);
        EXPECT_EQ(applied.CsvFileName, "cards.csv");
    }
    tapwedge_test::UiAnswers answers;
    OutputOptions options;
    options.FileOutput = 1;
    Dialog d(options, OutputItems{});
    d.form.show();
    d.Edit("FileEdit")->setText(QString());
    d.Ok();
    ASSERT_EQ(answers.Texts().size(), 1u);
    EXPECT_EQ(answers.Texts()[0], QStringLiteral("ファイル名を入力してください。"));
    EXPECT_TRUE(d.Edit("FileEdit")->isEnabled());
}

TEST(OutputSettingsForm, TypedWaitNeverLongerThanThreeDigits) {
    struct Case {
        const char* name;
        std::int32_t stored;
        std::function<void(QLineEdit*)> keys;
        QString text;
    };
    const auto type = [](QLineEdit* edit, const char* text) { QTest::keyClicks(edit, text); };
    const auto paste = [](QLineEdit* edit, const QString& text, bool selectAll) {
        for (const auto& way : tapwedge_test::PasteWays()) {
            tapwedge_test::Paste(edit, text, way, selectAll);
        }
    };
    const Case cases[] = {
        {"a stored 1234 is shown whole", 1234, [](QLineEdit*) {}, "1234"},
        {"Backspace, then a digit", 1234,
         [&](QLineEdit* e) {
             e->end(false);
             QTest::keyClick(e, Qt::Key_Backspace);
             type(e, "9");
         },
         "123"},
        {"a digit over one of four", 1234,
         [&](QLineEdit* e) {
             e->setSelection(1, 1);
             type(e, "9");
         },
         "1234"},
        {"all of it retyped", 1234,
         [&](QLineEdit* e) {
             e->selectAll();
             type(e, "98765");
         },
         "987"},
        {"pasted digits pass the filter", 0, [&](QLineEdit* e) { paste(e, " 4x5 ", true); }, "45"},
        {"a paste that would make four digits", 12,
         [&](QLineEdit* e) {
             e->end(false);
             paste(e, "34", false);
         },
         "12"},
        {"a paste of four digits over all", 12, [&](QLineEdit* e) { paste(e, "3456", true); }, "12"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OutputOptions options;
        options.WaitTime = c.stored;
        Dialog d(options, OutputItems{});
        QLineEdit* wait = d.Edit("WaitTimeEdit");
        c.keys(wait);
        EXPECT_EQ(wait->text(), c.text);
    }
}

TEST(OutputSettingsForm, FolderFieldLooksAndBehavesReadOnly) {
    OutputOptions options;
    options.FileOutput = 1;
    options.CsvFolder = "/srv/csv/";
    Dialog d(options, OutputItems{});
    QLineEdit* folder = d.Edit("FolderEdit");
    ASSERT_TRUE(folder->isEnabled());
    EXPECT_TRUE(folder->isReadOnly());
    EXPECT_EQ(folder->palette().color(QPalette::Active, QPalette::Base),
              folder->palette().color(QPalette::Active, QPalette::Window))
        << "drawn on the window's colour, unlike the fields that take typing";
    EXPECT_NE(d.Edit("FileEdit")->palette().color(QPalette::Active, QPalette::Base),
              folder->palette().color(QPalette::Active, QPalette::Base));
    EXPECT_FALSE(folder->focusPolicy() & Qt::TabFocus) << "Tab passes it by";
    QTest::keyClicks(folder, "x");
    // The paste keys (its context menu offers no paste item).
    for (int way = 0; way < 2; ++way) {
        tapwedge_test::Paste(folder, "/tmp/", tapwedge_test::PasteWays()[way]);
    }
    EXPECT_EQ(folder->text(), QStringLiteral("/srv/csv/"));
}

TEST(OutputSettingsForm, ControlTexts) {
    Dialog d(OutputOptions{}, OutputItems{});
    EXPECT_EQ(d.form.windowTitle(), QStringLiteral("設定フォーム"));
    const QStringList separators{"TAB", "ENTER", "無"};
    for (const char* name : {"SegCBox1", "SegCBox2", "SegCBox3", "SegCBox4"}) {
        auto* list = d.Get<QComboBox>(name);
        ASSERT_EQ(list->count(), 3);
        for (int i = 0; i < 3; ++i) EXPECT_EQ(list->itemText(i), separators[i]);
    }
    auto* replace = d.Get<QComboBox>("ReplaceCBox");
    const QStringList keys{"非表示", "空白", "@", "."};
    ASSERT_EQ(replace->count(), 4);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(replace->itemText(i), keys[i]);
    EXPECT_EQ(d.Check("OutChkBox2")->text(), QStringLiteral("2. 第一リード領域"));
    EXPECT_EQ(d.Check("CodeChangeBox")->text(), QStringLiteral("大文字／小文字表示の切り替え"));
    EXPECT_EQ(d.Get<QRadioButton>("UidDispReverseRBtn")->text(), QStringLiteral("UID[n]...[0]"));
}

}  // namespace
