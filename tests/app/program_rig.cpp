#include "program_rig.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

#include <QAction>
#include <QCoreApplication>
#include <QMenu>

#include "app/main_form.h"
#include "core/param_file_cipher.h"
#include "core/settings.h"
#include "fake_ftdi_control.h"
#include "platform/message_pump.h"
#include "platform/serial_ports.h"

namespace tapwedge_test {

ScratchProgramFolder::ScratchProgramFolder() {
    char name[] = "/tmp/tapwedge-app-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    folder_ = std::string(name) + "/";
    previous_directory_ = std::filesystem::current_path().string();
    std::filesystem::current_path(folder_);
    std::filesystem::create_directory(folder_ + "ports");
    platform::SetSerialPortFolder(folder_ + "ports");
}

ScratchProgramFolder::~ScratchProgramFolder() {
    platform::SetSerialPortFolder("");
    std::error_code ignored;
    std::filesystem::current_path(previous_directory_, ignored);
    std::filesystem::remove_all(folder_, ignored);
}

void ScratchProgramFolder::WriteIni(const std::string& text) const {
    std::ofstream(File("Wedgetap.ini"), std::ios::binary | std::ios::trunc) << text;
}

void ScratchProgramFolder::WriteCardSet(const tapwedge::CardParamImage& image,
                                        const std::string& name) const {
    tapwedge::ParamFileCipher cipher;
    if (cipher.WriteParamFile(image.Data(), tapwedge::kCardParamImageSize, File(name)) != 0) {
        std::abort();
    }
}

void ScratchProgramFolder::BindComPort(int number, const std::string& tty) const {
    std::filesystem::create_symlink(tty, folder_ + "ports/com" + std::to_string(number));
}

std::string ScratchProgramFolder::Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

tapwedge::sim::ReaderKeys SimKeysOf(const TwAuthKeys& keys) {
    tapwedge::sim::ReaderKeys sim;
    std::copy(keys.Id, keys.Id + 8, sim.id.begin());
    std::copy(keys.Kar, keys.Kar + 8, sim.kar.begin());
    std::copy(keys.Kbr, keys.Kbr + 8, sim.kbr.begin());
    std::copy(keys.Kcr, keys.Kcr + 8, sim.kcr.begin());
    return sim;
}

SimulatedReader::SimulatedReader(Link link, const ScratchProgramFolder& folder, bool resetFake) {
    sim.SetReaderKeys(SimKeysOf(tapwedge::CommSettings::DefaultReaderKeys()));
    if (link == Link::Usb) {
        if (resetFake) FakeFtdiReset();
        usb_ = std::make_unique<tapwedge::sim::D2xxAttachment>(sim, "QT58-V", "SIM00001");
    } else {
        pty_ = std::make_unique<tapwedge::sim::PtyAttachment>(sim);
        folder.BindComPort(kComNumber, pty_->SlavePath());
    }
}

SimulatedReader::~SimulatedReader() {
    TwClose();
    pty_.reset();
    usb_.reset();
}

void SimulatedReader::Unplug() {
    if (usb_) usb_->Unplug();
    if (pty_) pty_->Unplug();
}

void SimulatedReader::Replug() {
    if (usb_) usb_->Replug();
}

void ChooseFromTrayMenu(tapwedge::app::TForm1& form, QAction* item) {
    form.PopupMenu1->popup(QPoint(10, 10));
    form.PopupMenu1->hide();
    item->trigger();
    QCoreApplication::processEvents();
}

void DismissTrayMenu(tapwedge::app::TForm1& form) {
    form.PopupMenu1->popup(QPoint(10, 10));
    form.PopupMenu1->hide();
    QCoreApplication::processEvents();
}

void RunFromPump(std::function<bool()> when, std::function<void()> action) {
    auto done = std::make_shared<bool>(false);
    platform::SetMessagePump([when = std::move(when), action = std::move(action), done] {
        QCoreApplication::processEvents();
        if (*done || !when()) return;
        *done = true;
        action();
    });
}

void RunInsideWait(tapwedge::sim::ReaderSim& sim, std::uint8_t code, std::function<void()> action,
                   int afterMs) {
    RunFromPump(
        [&sim, code, afterMs] {
            const auto now = std::chrono::steady_clock::now();
            for (const tapwedge::sim::HostFrame& frame : sim.Commands()) {
                if (frame.command.size() > 1 && frame.command[1] == code &&
                    now - frame.at >= std::chrono::milliseconds(afterMs)) {
                    return true;
                }
            }
            return false;
        },
        std::move(action));
}

int CountFakeCalls(const char* function) {
    int count = 0;
    for (std::size_t i = 0; i < FakeFtdiCallCount(); ++i) {
        FakeFtdiCall call{};
        if (FakeFtdiGetCall(i, &call) == 0 && std::string(call.function) == function) ++count;
    }
    return count;
}

}  // namespace tapwedge_test
