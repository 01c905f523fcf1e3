// The rig's tools against the library, before any program uses them: reader-sim binds its pty to
// a COM number and answers the program's default authentication; the card parameters that
// make-card-set writes read the standard cards; the preloaded simulator serves the fake D2XX
// device "QT58-V"; unplug and plug work on both lines.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "child_process.h"
#include "control_socket.h"
#include "core/card_read_engine.h"
#include "core/param_file_cipher.h"
#include "core/settings.h"
#include "core/settings_io.h"
#include "core/text_format.h"
#include "platform/serial_ports.h"
#include "program_files.h"
#include "tagwire/tagwire.h"

namespace {

constexpr int kCom = 7;
// Ready, edition 2 (version text "TQ5862 ..."), Mifare, FeliCa and ISO15693.
constexpr std::int32_t kReaderType = 0x02 | 0x50 | 0x80;

std::string Reply(rig::ControlClient& control, const std::string& line) {
    return control.Send(line).value_or("no reply");
}

bool Ok(const std::string& reply) { return reply.rfind("ok", 0) == 0; }

// Attention, version and the password authentication with the program's default keys.
void InitialiseReader() {
    std::uint8_t attention[8];
    ASSERT_EQ(TwAttention(attention), TW_OK);
    char version[256] = {};
    ASSERT_EQ(TwGetVersion(version), TW_OK);
    EXPECT_STREQ(version, "TQ5862 V1.00");  // edition 2 (character 4), ISO15693 ('T')
    const TwAuthKeys keys = tapwedge::CommSettings::DefaultReaderKeys();
    ASSERT_EQ(TwPWAuthentication(&keys), TW_OK);
}

struct Expected {
    const char* card;
    const char* id;
    const char* data;  // the text of both areas
};

// What the entries of make-card-set make of the standard cards, in hexadecimal.
const Expected kStandard[] = {
    {"felica", "012E4C0011223344", "F100F101F102F103"},
    {"mifare", "04A1B2C3", "B401B403B405" "B509B50B"},
    {"iso15693", "11223344556604E0", "0B0CC20A0B0C"},
};

class ReaderSimFrontEnd : public testing::Test {
protected:
    void TearDown() override {
        if (OpenState()) TwClose();
        platform::SetSerialPortFolder("");
    }
    static bool OpenState() { return TwUsbChkLine(0) >= 0; }

    rig::TempFolder tmp_;
};

TEST_F(ReaderSimFrontEnd, TheCardSetOfMakeCardSetReadsTheStandardCardsOverTheComPort) {
    const std::string ports = tmp_ / "ports", socket = tmp_ / "sim.sock";
    rig::ChildProcess sim({RIG_BIN_DIR "/reader-sim", "--com", std::to_string(kCom), "--ports", ports,
                           "--control", socket});
    rig::ControlClient control(socket, 10000);
    ASSERT_TRUE(control.Connected());
    platform::SetSerialPortFolder(ports);
    ASSERT_EQ(platform::SerialPortPath(kCom), ports + "/com" + std::to_string(kCom));

    // The program folder: the card parameters and the settings read back as written.
    const std::string folder = tmp_ / "program";
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    rig::ProgramSetup setup;
    setup.com_port = kCom;
    setup.iso15693 = true;
    setup.csv_file = "log.csv";
    ASSERT_EQ(rig::WriteProgramFiles(folder, setup), "");
    tapwedge::CardParamImage image{};
    ASSERT_EQ(tapwedge::ParamFileCipher().ReadParamFile(image.Data(), tapwedge::kCardParamImageSize,
                                                        folder + "/Card.set"),
              0);
    EXPECT_FALSE(image.HasReaderKeys());
    tapwedge::AppSettings settings = tapwedge::AppSettings::Defaults(folder + "/");
    tapwedge::LoadSettings(settings, tapwedge::kIniFileName, folder + "/");
    EXPECT_EQ(settings.CommSettings.ComPort, kCom);
    EXPECT_EQ(settings.CommSettings.AuthMethod, 1);
    EXPECT_EQ(settings.CardFileName, "Card.set");
    EXPECT_EQ(settings.OutputOptions.FileOutput, 1);
    EXPECT_EQ(settings.OutputOptions.CsvFolder, folder + "/");

    ASSERT_EQ(TwOpen(kCom, settings.CommSettings.Baud), TW_OK);
    InitialiseReader();
    ASSERT_TRUE(Ok(Reply(control, "add standard")));
    tapwedge::CardReadEngine engine;
    ASSERT_EQ(engine.DecodeCardParams(image.Data(), settings.OutputOptions.UidNormalOrder,
                                      tapwedge::CardReadEngine::kUnsetKeyId),
              0);
    for (const Expected& e : kStandard) {
        SCOPED_TRACE(e.card);
        tapwedge::CardIdRecord id;
        tapwedge::CardDataRecord data;
        EXPECT_LT(engine.ReadCard(id, data, kReaderType), 0);  // no card
        ASSERT_TRUE(Ok(Reply(control, std::string("present ") + e.card)));
        const std::int32_t n = engine.ReadCard(id, data, kReaderType);
        ASSERT_GT(n, 0);
        data.Length = tapwedge::FormatData(engine, data, n);
        id.Length = tapwedge::FormatId(engine, id, id.Length);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(id.Bytes), id.Length), e.id);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data.Bytes), data.Length), e.data);
        EXPECT_LE(engine.ReadCard(id, data, kReaderType), 0);  // the same card stays: not again
        ASSERT_TRUE(Ok(Reply(control, std::string("remove ") + e.card)));
    }

    // Unplugged, the port is gone and the reader silent; plugged again, it is back.
    ASSERT_TRUE(Ok(Reply(control, "unplug")));
    EXPECT_FALSE(platform::SerialPortExists(kCom));
    std::uint8_t attention[8];
    EXPECT_NE(TwAttention(attention), TW_OK);
    EXPECT_EQ(TwClose(), TW_OK);
    ASSERT_TRUE(Ok(Reply(control, "plug")));
    EXPECT_TRUE(platform::SerialPortExists(kCom));
    ASSERT_EQ(TwOpen(kCom, settings.CommSettings.Baud), TW_OK);
    EXPECT_EQ(TwAttention(attention), TW_OK);
    EXPECT_EQ(TwClose(), TW_OK);

    // "quit" ends the simulator, which takes its link away.
    EXPECT_EQ(Reply(control, "quit"), "ok bye");
    for (int i = 0; i < 300 && sim.Running(); ++i) usleep(10000);
    EXPECT_EQ(sim.Stop(), 0);
    EXPECT_FALSE(platform::SerialPortExists(kCom));
}

TEST_F(ReaderSimFrontEnd, MutualSettingsGetTheEncryptedChannelWhoseCardCommandsTakeRandomFaults) {
    const std::string ports = tmp_ / "ports", socket = tmp_ / "sim.sock", folder = tmp_ / "program";
    rig::ChildProcess sim({RIG_BIN_DIR "/reader-sim", "--com", std::to_string(kCom), "--ports", ports,
                           "--control", socket});
    rig::ControlClient control(socket, 10000);
    ASSERT_TRUE(control.Connected());
    platform::SetSerialPortFolder(ports);
    ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
    rig::ProgramSetup setup;
    setup.com_port = kCom;
    setup.mutual_authentication = true;
    ASSERT_EQ(rig::WriteProgramFiles(folder, setup), "");
    tapwedge::AppSettings settings = tapwedge::AppSettings::Defaults(folder + "/");
    tapwedge::LoadSettings(settings, tapwedge::kIniFileName, folder + "/");
    EXPECT_EQ(settings.CommSettings.AuthMethod, 0);
    EXPECT_EQ(settings.CommSettings.CommMode, 0);  // always the encrypted channel
    EXPECT_EQ(settings.CommDialogMode, 0);         // the dialog offers mutual authentication

    ASSERT_EQ(TwOpen(kCom, settings.CommSettings.Baud), TW_OK);
    const TwAuthKeys keys = tapwedge::CommSettings::DefaultReaderKeys();
    ASSERT_EQ(TwAuthentication(&keys, settings.CommSettings.CommMode), TW_OK);
    EXPECT_NE(Reply(control, "status").find(" authenticated=1 encrypted=1 "), std::string::npos);

    for (const char* wrong : {"fault mac", "fault mac 101", "fault mac -1", "fault mac 1x", "fault loud 1",
                              "fault seed x", "counts 1"})
        EXPECT_EQ(Reply(control, wrong).rfind("error", 0), 0u) << wrong;
    ASSERT_TRUE(Ok(Reply(control, "add standard")));
    ASSERT_TRUE(Ok(Reply(control, "present felica")));
    ASSERT_TRUE(Ok(Reply(control, "fault counter 100")));
    std::uint8_t idm[8], pmm[8];
    EXPECT_EQ(TwFindCard(0xFFFF, idm, pmm), TW_ERR_SEQUENCE);
    EXPECT_EQ(TwGetSwitch(idm), TW_OK);  // the reader's own commands keep their seal
    ASSERT_TRUE(Ok(Reply(control, "fault counter 0")));
    ASSERT_TRUE(Ok(Reply(control, "fault mac 100")));
    EXPECT_EQ(TwFindCard(0xFFFF, idm, pmm), TW_ERR_MAC);
    ASSERT_TRUE(Ok(Reply(control, "fault off")));
    EXPECT_EQ(Reply(control, "counts"),
              "ok commands=5 card=2 sealed=2 noreply=0 garbage=0 mac=1 counter=1 authentications=1");
    EXPECT_EQ(TwClose(), TW_OK);
}

TEST_F(ReaderSimFrontEnd, AComNumberBoundToAnotherDeviceIsLeftAlone) {
    const std::string ports = tmp_ / "ports";
    ASSERT_EQ(mkdir(ports.c_str(), 0700), 0);
    ASSERT_EQ(symlink("/dev/null", (ports + "/COM7").c_str()), 0);
    rig::ChildProcess::Options options;
    options.capture_stderr = true;
    rig::ChildProcess sim({RIG_BIN_DIR "/reader-sim", "--com", "7", "--ports", ports}, options);
    EXPECT_TRUE(sim.WaitForStderr("choose another --com", 10000)) << sim.Stderr();
    for (int i = 0; i < 300 && sim.Running(); ++i) usleep(10000);
    EXPECT_EQ(sim.Stop(), 1);
    std::error_code error;
    EXPECT_EQ(std::filesystem::read_symlink(ports + "/COM7", error), "/dev/null");
}

TEST(PreloadedSimulator, ServesTheFakeUsbDeviceWithTheSameCommands) {
    rig::TempFolder tmp;
    const std::string socket = tmp / "usb.sock";
    setenv("TAPWEDGE_SIM_CONTROL", socket.c_str(), 1);
    void* library = dlopen(RIG_LIB_DIR "/libreader_sim_preload.so", RTLD_NOW);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_EQ(getenv("TAPWEDGE_SIM_CONTROL"), nullptr);  // children start no simulators
    rig::ControlClient control(socket, 10000);
    ASSERT_TRUE(control.Connected());

    // As the polling loop finds it: the count first, then the device with the model name.
    ASSERT_EQ(TwUsbGetDeviceList(nullptr), 1);
    char description[64] = {}, serial[64] = {};
    ASSERT_EQ(TwUsbGetDevice(description, serial, 0), 0);
    EXPECT_STREQ(description, "QT58-V");
    ASSERT_EQ(TwUsbOpen(serial, 0, 115200), TW_OK);
    InitialiseReader();
    EXPECT_EQ(TwUsbChkLine(0), 1);

    ASSERT_TRUE(Ok(Reply(control, "add standard")));
    ASSERT_TRUE(Ok(Reply(control, "present mifare")));
    TwMifCard card{};
    ASSERT_EQ(MifFindCard(&card, 0), TW_OK);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(card.Uid), 4), "\x04\xA1\xB2\xC3");
    EXPECT_EQ(Reply(control, "quit").rfind("error", 0), 0u);  // it lives as long as the process

    ASSERT_TRUE(Ok(Reply(control, "unplug")));
    EXPECT_EQ(TwUsbChkLine(0), 0);
    EXPECT_EQ(TwClose(), TW_OK);
    EXPECT_EQ(TwUsbGetDeviceList(nullptr), 0);
    ASSERT_TRUE(Ok(Reply(control, "plug")));
    EXPECT_EQ(TwUsbGetDeviceList(nullptr), 1);
    EXPECT_EQ(TwClose(), TW_OK);
}

}  // namespace
