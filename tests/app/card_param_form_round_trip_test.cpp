// Random card-parameter images of every value the image allows, shown in the dialog's real
// widgets, both parameters switched through, and confirmed without an edit: the dialog hands back
// the bytes it was given. The dialog owns entries 0 and 1 and writes them as its pages store
// them, so entries are drawn in the form a page stores; an entry the reader does not use comes
// back as the 34 zero bytes of an entry not in use.
#include <QCheckBox>
#include <QRadioButton>

#include <functional>
#include <random>
#include <sstream>

#include "card_dialog_fixture.h"

namespace card_dialog_test {
namespace {

using tapwedge::app::kResultOk;

class Draw {
public:
    explicit Draw(std::uint32_t seed) : rng_(seed) {}

    int Int(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }
    bool Coin() { return Int(0, 1) == 1; }
    std::uint8_t Byte() { return static_cast<std::uint8_t>(Int(0, 255)); }
    void Fill(std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) bytes[i] = Byte();
    }

    // Entries as the pages store them: every field over its whole range, output codes 0 to 7
    // (4 to 7 are in no list), ISO15693 starts to 15, blocks to 255.
    CardEntry Felica() {
        CardEntry e{};
        const int code = Int(0, 7);
        auto* b = Raw(e);
        b[0] = static_cast<std::uint8_t>(0x90 | code);
        Fill(b + 2, 2);
        if (!Coin()) return e;  // IDm only
        b[1] = 0x01;
        Fill(b + 6, 2);
        const std::uint16_t second = Coin() ? 0 : static_cast<std::uint16_t>(Int(1, 0xFFFF));
        e.SetSecondServiceCode(second);
        if (second != 0 && (second & 0x0E) == 0) b[0] |= 0x08;
        const int longest = std::min(64, 128 / Factor(code));
        for (auto& area : e.Areas) {
            area.Block = Byte();
            area.Start = static_cast<std::uint8_t>(Int(0, 15));
            area.Length = static_cast<std::uint8_t>(Int(0, longest));
        }
        return e;
    }
    CardEntry Ssfc() {
        CardEntry e{};
        auto* b = Raw(e);
        b[0] = static_cast<std::uint8_t>(0x90 | Int(0, 7));
        b[1] = 0x21;
        Fill(b + 2, 2);
        b[6] = 0x0B;
        b[7] = 0xFC;
        const std::uint8_t idLength = Coin() ? 15 : 14;  // one reissue box for both areas
        const int items[2] = {Int(0, 1), Int(0, 2)};
        for (int n = 0; n < 2; ++n) {
            if (items[n] == 0) e.Areas[n] = {1, 0, idLength, {}};
            if (items[n] == 1) e.Areas[n] = {2, 0, 10, {}};
        }
        return e;
    }
    CardEntry TypeA(bool sle55r) {
        CardEntry e{};
        auto* b = Raw(e);
        b[0] = static_cast<std::uint8_t>(0x80 | Int(0, 7));
        const bool blockArea = Coin();
        const int auth = sle55r ? 2 : Int(0, 2);  // key A, key B, none
        b[1] = static_cast<std::uint8_t>((sle55r ? 0x68 : 0x40 | auth << 4) | Int(0, 3) << 1 |
                                         (blockArea ? 1 : 0));
        if (auth < 2) {
            Fill(e.MifareKey, sizeof e.MifareKey);
            e.Areas[0].Block = Byte();
        }
        if (!blockArea) return e;
        const int bytes = sle55r ? 8 : 16;
        if (auth == 2) e.Areas[0].Block = Byte();
        e.Areas[0].Start = static_cast<std::uint8_t>(Int(0, bytes - 1));
        e.Areas[0].Length = static_cast<std::uint8_t>(Int(0, bytes - e.Areas[0].Start));
        if (Coin()) {
            b[0] |= 0x10;
            e.Areas[1].Block = Byte();
            e.Areas[1].Start = static_cast<std::uint8_t>(Int(0, bytes - 1));
            e.Areas[1].Length = static_cast<std::uint8_t>(Int(1, bytes - e.Areas[1].Start));
        }
        return e;
    }
    CardEntry Iso15693() {
        CardEntry e{};
        auto* b = Raw(e);
        const int code = Int(0, 7);
        b[0] = static_cast<std::uint8_t>(0x80 | code);
        const bool blockArea = Coin();
        b[1] = static_cast<std::uint8_t>(0xC0 | (blockArea ? 1 : 0));
        b[2] = Byte();
        if (blockArea) {
            b[4] = static_cast<std::uint8_t>((Coin() ? 0x80 : 0) | (Coin() ? 0x40 : 0) | Int(0, 3));
            const int longest = 64 / Factor(code);
            for (auto& area : e.Areas) {
                area.Block = Byte();
                area.Start = static_cast<std::uint8_t>(Int(0, 15));
                area.Length = static_cast<std::uint8_t>(Int(0, longest));
            }
            if (Coin()) e.Areas[1].Length = 0;
            if (Coin()) e.Areas[1].Block = e.Areas[0].Block;
            // Area 2 is stored when it has a length or both blocks are equal; else it stays 0.
            if (e.Areas[1].Length == 0 && e.Areas[1].Block != e.Areas[0].Block) {
                e.Areas[1] = {};
            }
        }
        if (e.Areas[1].Length > 0 || e.Areas[1].Block == e.Areas[0].Block) b[0] |= 0x10;
        return e;
    }
    // An entry the reader reads but the dialog cannot show: kept as it is.
    CardEntry Unshowable() {
        CardEntry e = Coin() ? Felica() : TypeA(false);
        Raw(e)[0] |= 0x40;
        return e;
    }
    // An entry the reader skips: all zero, or anything without the in-use bit or a kind.
    CardEntry NotInUse() {
        CardEntry e{};
        switch (Int(0, 2)) {
        case 0: break;
        case 1:
            Fill(Raw(e), sizeof e);
            Raw(e)[0] &= 0x7F;
            break;
        case 2:
            Fill(Raw(e), sizeof e);
            Raw(e)[0] |= 0x80;
            Raw(e)[1] = static_cast<std::uint8_t>((Raw(e)[1] & 0x3F) | 0x80);
            break;
        }
        return e;
    }
    CardEntry Any() {
        switch (Int(0, 7)) {
        case 0: return Felica();
        case 1: return Ssfc();
        case 2: return TypeA(false);
        case 3: return TypeA(true);
        case 4: return Iso15693();
        case 5: return Unshowable();
        default: return NotInUse();
        }
    }

    CardParamImage Image() {
        CardParamImage image{};
        Fill(image.Data(), tapwedge::kCardParamImageSize);
        image.Flags = static_cast<std::uint8_t>(image.Flags & 0x7F);  // bit 7: see Case
        image.Entries[0] = Any();
        image.Entries[1] = Any();
        return image;
    }

private:
    static std::uint8_t* Raw(CardEntry& e) { return reinterpret_cast<std::uint8_t*>(&e); }
    static int Factor(int code) { return code == 2 ? 2 : code == 3 ? 3 : 1; }

    std::mt19937 rng_;
};

// What the dialog hands back for an image it was given: an entry the reader skips is shown as
// not in use and stored as 34 zero bytes; everything else as it came.
CardParamImage Expected(CardParamImage image) {
    for (int i = 0; i < 2; ++i) {
        if (image.Entries[i].Classify() == tapwedge::CardKind::None) image.Entries[i] = {};
    }
    return image;
}

std::string Dump(const CardParamImage& image) { return Hex(image.Data(), 244); }

// An image, with or without the mark of a change kept in memory, and the dialog's flags: with and
// without ISO15693 and SSFC offered.
struct Case {
    CardParamImage image;
    std::uint16_t flags;

    static Case Of(Draw& draw) {
        Case c{draw.Image(), static_cast<std::uint16_t>(draw.Int(0, 3) << 6)};
        if (draw.Coin()) c.image.Flags |= CardParamImage::kTemporaryChange;
        return c;
    }
    std::string Trace(int i) const {
        std::ostringstream text;
        text << "image " << i << " flags " << std::hex << flags << "\n" << Dump(image);
        return text.str();
    }
};

class CardRoundTripTest : public CardDialogTest {
protected:
    void Switch(int parameter) {
        Find<QRadioButton>(parameter == 0 ? "CardRBtn1" : "CardRBtn2")->setChecked(true);
    }
    // Runs check on count images drawn from seed, with Card.set listed; stops at a fatal failure.
    void ForEachImage(std::uint32_t seed, int count,
                      const std::function<void(Draw&, const Case&)>& check) {
        Draw draw(seed);
        WriteSet("Card.set", SampleImage(kFelicaIdm));
        for (int i = 0; i < count && !HasFatalFailure(); ++i) {
            const Case c = Case::Of(draw);
            SCOPED_TRACE(c.Trace(i));
            check(draw, c);
        }
    }
    // Edit mode, parameter 2 and back (and maybe to 2 again), then OK without saving.
    CardParamImage ConfirmUnedited(Draw& draw) {
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        Switch(1);
        Switch(0);
        if (draw.Coin()) Switch(1);
        Find<QCheckBox>("TempChkBox")->setChecked(true);
        dialog_->OkBitBtnClick();
        EXPECT_EQ(dialog_->result(), kResultOk);
        EXPECT_TRUE(answers_.Boxes.empty()) << answers_.Texts().front().toStdString();
        CardParamImage image{};
        std::string name;
        dialog_->TakeResult(image, name);
        return image;
    }
};

TEST_F(CardRoundTripTest, RandomImagesComeBackUnchangedFromAFile) {
    ForEachImage(24, 300, [this](Draw& draw, const Case& c) {
        WriteSet("r.set", c.image);
        Open("Card.set", SampleImage(kMifareUid), c.flags);
        // Loaded while either parameter is shown.
        if (draw.Coin()) {
            Find<QCheckBox>("EditChkBtn")->setChecked(true);
            Switch(1);
        }
        ClickFile("r.set");
        ASSERT_EQ(dialog_->FileName, "r.set");
        ASSERT_EQ(Dump(ConfirmUnedited(draw)), Dump(Expected(c.image)));
    });
}

// The caller's image: the dialog takes its bytes 0 to 207 and starts bytes 208 to 243 as zero,
// as it always has (nothing in the program reads them).
TEST_F(CardRoundTripTest, RandomImagesOfTheCallerComeBackUnchanged) {
    ForEachImage(2024, 150, [this](Draw& draw, const Case& c) {
        Open("Card.set", c.image, c.flags);
        CardParamImage expected = Expected(c.image);
        std::memset(expected.Tail, 0, sizeof expected.Tail);
        ASSERT_EQ(Dump(ConfirmUnedited(draw)), Dump(expected));
    });
}

// Saved to a file, the same bytes reach the file; only the mark of a change kept in memory is
// never written.
TEST_F(CardRoundTripTest, RandomImagesSavedUneditedReachTheFileUnchanged) {
    ForEachImage(244, 60, [this](Draw&, const Case& c) {
        WriteSet("r.set", c.image);
        Open("Card.set", SampleImage(kMifareUid), c.flags);
        ClickFile("r.set");
        Find<QCheckBox>("EditChkBtn")->setChecked(true);
        Switch(1);
        Switch(0);
        Find<QCheckBox>("TempChkBox")->setChecked(false);
        answers_.Inputs.push_back({true, "saved"});
        dialog_->OkBitBtnClick();
        ASSERT_EQ(dialog_->result(), kResultOk);
        CardParamImage expected = Expected(c.image);
        expected.Flags &= 0x7F;
        ASSERT_EQ(Dump(ReadSet("saved.set")), Dump(expected));
    });
}

}  // namespace
}  // namespace card_dialog_test
