#pragma once
// Fixture of the card-parameter dialog tests: a scratch program folder that is also the current
// directory (as the program makes its own), card-parameter files written into it with the file
// cipher, and the dialog opened on it with the user's answers queued.
#include <QApplication>
#include <QListWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "app/card_param_form.h"
#include "core/param_file_cipher.h"
#include "ui_answers.h"

namespace card_dialog_test {

using tapwedge::CardEntry;
using tapwedge::CardParamImage;
using tapwedge::app::TPosParaForm;

using Bytes = std::initializer_list<std::pair<int, std::uint8_t>>;

// An entry with the given bytes set and every other byte 0.
inline CardEntry EntryOf(Bytes bytes) {
    CardEntry entry{};
    auto* raw = reinterpret_cast<std::uint8_t*>(&entry);
    for (const auto& [offset, value] : bytes) raw[offset] = value;
    return entry;
}

// A control's own Enabled, whatever its parents are (the pages sit on a panel that view mode
// disables).
inline bool OwnEnabled(const QWidget* widget) {
    return !widget->testAttribute(Qt::WA_ForceDisabled);
}

inline std::string Hex(const void* data, std::size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < size; ++i) {
        const auto b = static_cast<const std::uint8_t*>(data)[i];
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}
inline std::string Hex(const CardEntry& entry) { return Hex(&entry, sizeof entry); }

// Entries 0 and 1 and some bytes of every other part, so that carried bytes can be checked.
inline CardParamImage SampleImage(const CardEntry& first, const CardEntry& second = {}) {
    CardParamImage image{};
    image.Flags = 0x05;
    image.Entries[0] = first;
    image.Entries[1] = second;
    image.Entries[2] = EntryOf({{0, 0x82}, {1, 0x40}});
    image.Spare[0] = 0x5A;
    image.Width1 = 3;
    image.Width2 = 4;
    image.ReaderKeysPresent = 1;
    image.ReaderKeys.Id[0] = 0x11;
    image.Tail[35] = 0x77;
    return image;
}

inline const CardEntry kFelicaIdm = EntryOf({{0, 0x92}, {1, 0x00}, {2, 0xFF}, {3, 0xFF}});
inline const CardEntry kFelicaBlock = EntryOf(
    {{0, 0x92}, {1, 0x01}, {2, 0x12}, {3, 0x34}, {6, 0x0B}, {7, 0x10}, {24, 1}, {25, 2}, {26, 8}});
inline const CardEntry kMifareUid = EntryOf({{0, 0x82}, {1, 0x60}});

class CardDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tapwedge-card-dialog-XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        folder_ = name;
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        dialog_.reset();
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    std::string Folder() const { return folder_ + "/"; }

    void WriteSet(const std::string& name, const CardParamImage& image) {
        tapwedge::ParamFileCipher cipher;
        ASSERT_EQ(cipher.WriteParamFile(image.Data(), tapwedge::kCardParamImageSize,
                                        Folder() + name),
                  0);
    }
    // The image of a file in the folder; Flags 0xEE when it cannot be read.
    CardParamImage ReadSet(const std::string& name) {
        CardParamImage image{};
        tapwedge::ParamFileCipher cipher;
        if (cipher.ReadParamFile(image.Data(), tapwedge::kCardParamImageSize, Folder() + name) !=
            0) {
            image.Flags = 0xEE;
        }
        return image;
    }
    bool Exists(const std::string& name) const {
        return std::filesystem::exists(Folder() + name);
    }

    TPosParaForm& Open(const std::string& fileName, const CardParamImage& image,
                       std::uint16_t flags = 0) {
        dialog_ = std::make_unique<TPosParaForm>(fileName, image, flags, Folder());
        return *dialog_;
    }

public:
    template <typename W>
    W* Find(const char* name) {
        W* widget = dialog_->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

protected:
    // A real mouse click on the list item of a file; the dialog is shown for it.
    void ClickFile(const QString& name) {
        dialog_->show();
        auto* list = Find<QListWidget>("ListBox1");
        const auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        list->scrollToItem(items.front());
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(items.front()).center());
    }

    tapwedge_test::UiAnswers answers_;
    std::unique_ptr<TPosParaForm> dialog_;

private:
    std::string folder_;
    std::filesystem::path previous_;
};

}  // namespace card_dialog_test
