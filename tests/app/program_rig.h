#pragma once
// Rig of the main form's tests: a scratch program folder that is also the current directory,
// with its INI file, card-parameter files and COM port bindings, and the reader simulator on
// either transport with the program's built-in reader keys.
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

// How many calls of a D2XX entry point the fake library recorded.
int CountFakeCalls(const char* function);

}  // namespace tapwedge_test
