#pragma once
// Rig of the main form's tests: a scratch program folder that is also the current directory,
// with its INI file, card-parameter files and COM port bindings, and the reader simulator on
// either transport with the program's built-in reader keys.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/card_param_image.h"
#include "reader_sim/d2xx_attachment.h"
#include "reader_sim/pty_attachment.h"
#include "reader_sim/reader_sim.h"
#include "tagwire/tagwire.h"

class QAction;
namespace tapwedge::app {
class TForm1;
}

namespace tapwedge_test {

class ScratchProgramFolder {
public:
    ScratchProgramFolder();
    ~ScratchProgramFolder();
    ScratchProgramFolder(const ScratchProgramFolder&) = delete;
    ScratchProgramFolder& operator=(const ScratchProgramFolder&) = delete;

    // Ends with '/'.
    const std::string& Folder() const { return folder_; }
    std::string File(const std::string& name) const { return folder_ + name; }
    void WriteIni(const std::string& text) const;
    void WriteCardSet(const tapwedge::CardParamImage& image,
                      const std::string& name = "Card.set") const;
    // Binds COM `number` to a tty through the port folder.
    void BindComPort(int number, const std::string& tty) const;
    std::string Read(const std::string& name) const;

private:
    std::string folder_;
    std::string previous_directory_;
};

// The reader keys of an image or the built-in ones, as the simulator takes them.
tapwedge::sim::ReaderKeys SimKeysOf(const TwAuthKeys& keys);

enum class Link { Usb, Com };

// The simulated reader with the program's built-in keys, on a "QT58-V" USB device of the fake
// D2XX library or on a pty bound to COM 3 of the folder.
class SimulatedReader {
public:
    static constexpr int kComNumber = 3;

    // resetFake false keeps the devices already plugged into the fake D2XX library.
    SimulatedReader(Link link, const ScratchProgramFolder& folder, bool resetFake = true);
    ~SimulatedReader();
    SimulatedReader(const SimulatedReader&) = delete;
    SimulatedReader& operator=(const SimulatedReader&) = delete;

    void Unplug();
    void Replug();  // USB only: the same device is plugged in again

    tapwedge::sim::ReaderSim sim;

private:
    std::unique_ptr<tapwedge::sim::PtyAttachment> pty_;
    std::unique_ptr<tapwedge::sim::D2xxAttachment> usb_;
};

// Chooses an item of the form's tray menu as Qt delivers the click: the menu opens (pausing
// polling), closes, then the item runs.
void ChooseFromTrayMenu(tapwedge::app::TForm1& form, QAction* item);
// The menu opens and closes without a choice (Escape, a click elsewhere).
void DismissTrayMenu(tapwedge::app::TForm1& form);

// Installs the program's message pump (Qt's event processing) with a message handler that runs
// `action` once, from the first pump after `when` became true: inside whatever wait of the
// program pumps then. The fixture's own pump comes back when it installs it again.
void RunFromPump(std::function<bool()> when, std::function<void()> action);
// RunFromPump as soon as the reader has received a command with code `code` and afterMs have
// passed since: inside the wait for its reply (make it late), or in a pause after it.
void RunInsideWait(tapwedge::sim::ReaderSim& sim, std::uint8_t code, std::function<void()> action,
                   int afterMs = 0);

// How many calls of a D2XX entry point the fake library recorded.
int CountFakeCalls(const char* function);

}  // namespace tapwedge_test
