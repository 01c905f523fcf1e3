// The defaults the build writes into share/tapwedge/: the card parameters "Card.set", decrypted
// with the program's own cipher, and the settings "Wedgetap.ini", read as the program reads them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "core/card_param_image.h"
#include "core/param_file_cipher.h"
#include "core/settings.h"
#include "core/settings_io.h"

namespace tapwedge {
namespace {

TEST(DefaultCardSet, HoldsThreeIdentifierOnlyEntriesInHexadecimalAndNoReaderKeys) {
    CardParamImage image{};
    ParamFileCipher cipher;
    ASSERT_EQ(cipher.ReadParamFile(image.Data(), kCardParamImageSize,
                                   TAPWEDGE_SHARE_DIR "/Card.set"), 0);
    // Every byte but the first two (four for FeliCa) of each entry is 0: no data areas, no fixed
    // widths, no reader keys (byte 175), nothing in the spare bytes.
    std::vector<std::uint8_t> expected(kCardParamImageSize, 0);
    const std::uint8_t felica[] = {0x92, 0x00, 0xFF, 0xFF};  // FeliCa IDm, system code FFFF
    const std::uint8_t mifare[] = {0x82, 0x60};              // Type A UID, no authentication
    const std::uint8_t iso15693[] = {0x82, 0xC0};            // ISO15693 UID
    std::copy(std::begin(felica), std::end(felica), expected.begin() + EntryOffset(0));
    std::copy(std::begin(mifare), std::end(mifare), expected.begin() + EntryOffset(1));
    std::copy(std::begin(iso15693), std::end(iso15693), expected.begin() + EntryOffset(2));
    EXPECT_EQ(std::vector<std::uint8_t>(image.Data(), image.Data() + kCardParamImageSize), expected);

    const CardKind kinds[] = {CardKind::Felica, CardKind::Mifare, CardKind::Iso15693};
    for (std::size_t i = 0; i < kCardEntryCount; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(image.Entries[i].Classify(), kinds[i]);
        EXPECT_FALSE(image.Entries[i].ReadsData());
        EXPECT_EQ(image.Entries[i].OutputCode(), kOutputHex);  // "0～9,A～F"
    }
    EXPECT_EQ(image.Entries[0].SystemCode(), 0xFFFF);
    EXPECT_EQ(image.Entries[1].MifareUidSize(), 0);  // 4 or 7 bytes
    EXPECT_FALSE(image.HasReaderKeys());
}

TEST(DefaultSettings, TypeTheIdentifierWithReturnAndKeepTheBuiltInValues) {
    AppSettings settings = AppSettings::Defaults(TAPWEDGE_SHARE_DIR "/");
    LoadSettings(settings, kIniFileName, TAPWEDGE_SHARE_DIR "/");
    EXPECT_TRUE(settings.OutputItems[0].Enabled);
    EXPECT_EQ(settings.OutputItems[0].Separator, 1);  // RETURN
    EXPECT_FALSE(settings.OutputItems[1].Enabled);
    EXPECT_FALSE(settings.OutputItems[2].Enabled);
    EXPECT_FALSE(settings.OutputItems[3].Enabled);
    EXPECT_EQ(settings.CardFileName, "Card.set");
    EXPECT_EQ(settings.CommSettings.ComPort, 1);
    EXPECT_EQ(settings.CommSettings.AuthMethod, 1);
    EXPECT_TRUE(settings.OutputOptions.KeyboardOutput);
    EXPECT_EQ(settings.OutputOptions.CsvFolder, TAPWEDGE_SHARE_DIR "/");  // the settings folder
    EXPECT_EQ(settings.OutputOptions.CsvFileName, "log.csv");
}

}  // namespace
}  // namespace tapwedge
