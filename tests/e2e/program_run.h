#pragma once
// One run of the real program end to end: a private Xvfb with the Japanese layout, a tray host
// (trayer), the key recorder holding the focus, a copy of the program in a scratch program
// folder with the Wedgetap.ini and Card.set of make-card-set, and the reader simulator on a
// pty bound to a COM number (reader-sim) or, preloaded into the program, on the fake D2XX
// device "QT58-V". Cards go in and out of the field through the simulator's control socket.
// The program can be ended and started again from the same folder, and the key recorder can let
// the focus go while a test drives the program's dialogs. On request a window manager (openbox)
// runs on the display, and the program registers with a session manager.
#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "child_process.h"
#include "control_socket.h"

namespace tapwedge_test {
class XvfbDisplay;  // xvfb_display.h; Xlib's macros stay out of this header
}

namespace e2e {

enum class Link { Com, Usb };

struct RunOptions {
    Link link = Link::Com;
    int com_port = 5;
    int reply_latency_ms = 0;  // the simulated reader's own reply time
    const char* screen = "320x240x24";  // Xvfb's screen: room for the program's dialogs, or not
    // Mutual authentication with the encrypted channel instead of the password.
    bool mutual_authentication = false;
    int wait_time_ms = 0;  // the program's pause after each key
    // Card.set holds reader keys that are not the simulated reader's: it refuses them.
    bool wrong_reader_keys = false;
    // A program file run as it is (a build tree's bin/tapwedge, an installation), instead of a
    // copy of the built program in a scratch program folder with make-card-set's files. The rig
    // then gives it no settings and a private home folder: it keeps them in its settings folder
    // ~/.config/tapwedge, and the simulator (COM only) binds com_port in ~/.config/tapwedge/ports
    // once the program has made that folder. No library path is handed on to it.
    std::string program_file;
    // When the rig runs as root: the program and the simulator run as this user and group, who
    // may write only the private home folder (0 = as the caller).
    uid_t user = 0;
    // A window manager (openbox) on the display, which decorates the program's dialogs.
    bool window_manager = false;
    // SESSION_MANAGER of the program: the session manager it registers with ("" = none).
    std::string session_manager;
};

// One key press the recorder saw: when (CLOCK_MONOTONIC ns) and its characters.
struct KeyEvent {
    std::int64_t at_ns = 0;
    std::string chars;
};

// Where the program under test is; "" when it has not been built.
std::string ProgramPath();

class ProgramRun {
public:
    explicit ProgramRun(const RunOptions& options);
    ~ProgramRun();
    ProgramRun(const ProgramRun&) = delete;
    ProgramRun& operator=(const ProgramRun&) = delete;

    // "" when everything started, else what did not.
    const std::string& Error() const { return error_; }

    // A command to the simulator; its reply ("no reply" when none came).
    std::string Command(const std::string& line);
    // Waits until the program has authenticated itself to the reader.
    bool WaitReady(int timeoutMs);
    // Key presses until `chars` characters have come or timeoutMs passed.
    std::vector<KeyEvent> Keys(std::size_t chars, int timeoutMs);
    // The characters of Keys().
    std::string Typed(std::size_t chars, int timeoutMs);

    std::string CsvText() const;
    // What was appended to the CSV file since the last call.
    std::string NewCsvText();
    std::string DisplayName() const;
    // The program's folder: its copy of the program, Wedgetap.ini, Card.set and the CSV file.
    std::string ProgramFolder() const { return tmp_ / "program"; }
    // Where the program keeps its settings and the CSV file: its folder, or with program_file
    // ~/.config/tapwedge of the private home folder.
    std::string SettingsFolder() const;
    // Ends the program with SIGTERM (SIGKILL after a grace time); its exit status, or -1.
    int StopProgram();
    // Starts the program again from its folder (the simulator over USB with it, with the
    // standard cards); "" when it started, else why not.
    std::string StartProgramAgain();
    // false: the key recorder lets the focus go, so that the program's dialogs keep it; true:
    // it takes the focus back and holds it. True once the recorder has done so.
    bool RecorderHoldsFocus(bool hold);
    pid_t ProgramPid() const { return program_ ? program_->Pid() : -1; }
    bool ProgramRunning() { return program_ && program_->Running(); }
    // What the program wrote to standard error.
    std::string ProgramErrors() const;
    // Whether the key recorder still runs, and what it wrote to standard error.
    std::string RecorderState();

private:
    bool StartWindowManager();
    bool StartTray();
    bool StartRecorder();
    bool StartProgram();
    std::string LaunchProgram();
    void StartComSimulator();
    // The command run as options_.user when there is one.
    std::vector<std::string> AsUser(std::vector<std::string> argv) const;
    bool AsIs() const { return !options_.program_file.empty(); }
    // The simulator's control socket: where the user the simulator runs as may make it.
    std::string SimSocket() const { return AsIs() ? tmp_ / "home/sim.sock" : tmp_ / "sim.sock"; }

    RunOptions options_;
    std::string error_;
    rig::TempFolder tmp_{"tapwedge-e2e"};
    std::unique_ptr<tapwedge_test::XvfbDisplay> display_;
    std::unique_ptr<rig::ChildProcess> window_manager_;
    std::unique_ptr<rig::ChildProcess> tray_;
    std::unique_ptr<rig::ChildProcess> recorder_;
    std::unique_ptr<rig::ChildProcess> sim_;
    std::unique_ptr<rig::ChildProcess> program_;
    std::unique_ptr<rig::ControlClient> control_;
    rig::ChildProcess::Options program_options_;
    std::string recorded_;  // recorder output not yet split into lines
    int recorder_focus_changes_ = 0;
    std::streamoff csv_read_ = 0;  // bytes of the CSV file NewCsvText has returned
};

}  // namespace e2e
