// The version box: the reader's edition and card kinds from ReaderType, and the version read back
// from a program file (this test program is built with the record 2.0.15.255).
#include <QCheckBox>
#include <QLabel>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>

#include "app/version_form.h"

namespace {

using tapwedge::app::TMyVerForm;

TEST(VersionForm, EditionAndCardKindsFromTheReaderType) {
    struct Case {
        std::int32_t readerType;
        QString edition;
        bool mifare, felica, iso15693;
    };
    const Case cases[] = {
        {0x0F, QStringLiteral("(未検出)"), false, false, false},
        {0x52, QStringLiteral("暗号･SSFC対応版"), true, true, false},
        {0xD1, QStringLiteral("暗号対応版"), true, true, true},
        {0x80, QStringLiteral("暗号非対応版"), false, false, true},
        {0x23, QStringLiteral("非対応機種"), false, false, false},
        {0x04, QStringLiteral("(未検出)"), false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.readerType);
        TMyVerForm form(c.readerType);
        EXPECT_EQ(form.windowTitle(), QStringLiteral("Version情報"));
        EXPECT_EQ(form.findChild<QLabel*>("ComStatusLbl")->text(), c.edition);
        EXPECT_EQ(form.findChild<QCheckBox*>("TypeACBox")->isChecked(), c.mifare);
        EXPECT_EQ(form.findChild<QCheckBox*>("FeliCaCBox")->isChecked(), c.felica);
        EXPECT_EQ(form.findChild<QCheckBox*>("ISO15693CBox")->isChecked(), c.iso15693);
    }
}

TEST(VersionForm, VersionOfTheProgramFile) {
    QTemporaryDir temp;
    const QString plainFile = temp.filePath("plain");
    std::ofstream(plainFile.toStdString()) << "no ELF file";
    struct Case {
        const char* name;
        QString file;
        QString label;
    };
    const Case cases[] = {
        {"the running program", "/proc/self/exe", "Version 2.0.F.FF"},
        {"a file without a record", plainFile, "Version "},
        {"a file that cannot be opened", temp.filePath("missing"), "Version 0.0.0.1"},
        {"a folder", temp.path(), "Version 0.0.0.1"},
    };
    const std::int32_t readerType = 0x0F;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TMyVerForm form(readerType, nullptr, c.file);
        EXPECT_EQ(form.findChild<QLabel*>("Version")->text(), c.label);
    }
    TMyVerForm ownProgram(readerType);
    EXPECT_EQ(ownProgram.findChild<QLabel*>("Version")->text(), "Version 2.0.F.FF");
    EXPECT_EQ(TMyVerForm::FileVersionText("/proc/self/exe"), "2.0.F.FF");
    EXPECT_EQ(TMyVerForm::FileVersionText(plainFile), "");
}

}  // namespace
