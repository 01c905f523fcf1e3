// Before Xlib, whose macros (None) clash with the card-parameter names.
#include "program_files.h"
#include "program_run.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "xvfb_display.h"

namespace e2e {
namespace {

using Clock = std::chrono::steady_clock;

// The characters of one --timestamps line of key-recorder: "<ns> <escaped chars>".
bool ParseKeyLine(const std::string& line, KeyEvent& event) {
    const std::size_t space = line.find(' ');
    if (space == std::string::npos) return false;
    event.at_ns = std::stoll(line.substr(0, space));
    event.chars.clear();
    for (std::size_t i = space + 1; i < line.size(); ++i) {
        if (line[i] != '\\' || i + 1 >= line.size()) {
            event.chars.push_back(line[i]);
            continue;
        }
        const char c = line[++i];
        if (c == 't') event.chars.push_back('\t');
        else if (c == 'r') event.chars.push_back('\r');
        else if (c == 'n') event.chars.push_back('\n');
        else if (c == 'x' && i + 2 < line.size()) {
            event.chars.push_back(static_cast<char>(std::stoi(line.substr(i + 1, 2), nullptr, 16)));
            i += 2;
        } else event.chars.push_back(c);
    }
    return true;
}

// Makes folder for the user the program runs as (0: the caller), who alone may use it.
bool MakeOwnFolder(const std::string& folder, uid_t user) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ec);
    return !ec && (user == 0 || geteuid() != 0 || chown(folder.c_str(), user, user) == 0);
}

}  // namespace

std::string ProgramPath() {
    const std::string path = TAPWEDGE_PROGRAM;
    return access(path.c_str(), X_OK) == 0 ? path : "";
}

ProgramRun::ProgramRun(const RunOptions& options) : options_(options) {
    display_ = std::make_unique<tapwedge_test::XvfbDisplay>("jp", options_.screen);
    if (!display_->Ok()) {
        error_ = display_->Error();
        return;
    }
    if ((options_.window_manager && !StartWindowManager()) || !StartTray() || !StartRecorder() ||
        !StartProgram())
        return;
    error_ = LaunchProgram();
}

ProgramRun::~ProgramRun() {
    control_.reset();
    program_.reset();  // SIGTERM: the program closes the reader and ends
    sim_.reset();
    recorder_.reset();
    tray_.reset();
    window_manager_.reset();
    display_.reset();
}

bool ProgramRun::StartWindowManager() {
    rig::ChildProcess::Options options;
    options.environment = {{"DISPLAY", display_->Name()}, {"HOME", tmp_.Path()}};
    options.stderr_file = tmp_ / "openbox.err";
    window_manager_ = std::make_unique<rig::ChildProcess>(
        std::vector<std::string>{"openbox", "--sm-disable"}, options);
    // Managing once it announces itself on the root window.
    Display* x = XOpenDisplay(display_->Name().c_str());
    if (x == nullptr) {
        error_ = "cannot open the display";
        return false;
    }
    const Atom check = XInternAtom(x, "_NET_SUPPORTING_WM_CHECK", False);
    bool managing = false;
    for (auto end = Clock::now() + std::chrono::seconds(10); !managing && Clock::now() < end;) {
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        managing = XGetWindowProperty(x, DefaultRootWindow(x), check, 0, 1, False, XA_WINDOW, &type,
                                      &format, &count, &after, &data) == Success &&
                   count == 1;
        if (data != nullptr) XFree(data);
        if (!managing) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(x);
    if (!managing) error_ = "no window manager: openbox did not start (package openbox)";
    return managing;
}

bool ProgramRun::StartTray() {
    rig::ChildProcess::Options options;
    options.environment = {{"DISPLAY", display_->Name()}};
    options.stderr_file = tmp_ / "trayer.err";
    tray_ = std::make_unique<rig::ChildProcess>(
        std::vector<std::string>{"trayer", "--edge", "top", "--align", "right", "--widthtype", "request",
                                 "--height", "24", "--SetDockType", "true", "--expand", "true"},
        options);
    // The program shows its icon only once a tray owns the system tray selection.
    Display* x = XOpenDisplay(display_->Name().c_str());
    if (x == nullptr) {
        error_ = "cannot open the display";
        return false;
    }
    const Atom selection = XInternAtom(x, "_NET_SYSTEM_TRAY_S0", False);
    bool owned = false;
    for (auto end = Clock::now() + std::chrono::seconds(10); !owned && Clock::now() < end;) {
        owned = XGetSelectionOwner(x, selection) != None;
        if (!owned) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    XCloseDisplay(x);
    if (!owned) error_ = "no tray: trayer did not take the system tray (package trayer)";
    return owned;
}

bool ProgramRun::StartRecorder() {
    rig::ChildProcess::Options options;
    options.capture_stdout = true;
    options.capture_stderr = true;
    recorder_ = std::make_unique<rig::ChildProcess>(
        std::vector<std::string>{RIG_BIN_DIR "/key-recorder", "--display", display_->Name(), "--timestamps"},
        options);
    if (!recorder_->WaitForStderr("key-recorder: ready", 10000)) {
        error_ = "the key recorder did not start: " + recorder_->Stderr();
        return false;
    }
    return true;
}

std::string ProgramRun::SettingsFolder() const {
    return AsIs() ? tmp_ / "home/.config/tapwedge" : ProgramFolder();
}

std::vector<std::string> ProgramRun::AsUser(std::vector<std::string> argv) const {
    if (options_.user == 0 || geteuid() != 0) return argv;
    const std::string id = std::to_string(options_.user);
    argv.insert(argv.begin(), {"setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", "--"});
    return argv;
}

bool ProgramRun::StartProgram() {
    const std::string program = AsIs() ? options_.program_file : ProgramPath();
    if (program.empty()) {
        error_ = "no program at " TAPWEDGE_PROGRAM;
        return false;
    }
    if (AsIs()) {
        if (access(program.c_str(), X_OK) != 0) {
            error_ = "no program at " + program;
            return false;
        }
        if (options_.link != Link::Com) {
            error_ = "a program run as it is is tried on a COM port only";
            return false;
        }
        // The user may pass through the scratch folder, and owns the home and runtime folders.
        std::filesystem::permissions(tmp_.Path(), std::filesystem::perms::others_exec,
                                     std::filesystem::perm_options::add);
        if (!MakeOwnFolder(tmp_ / "home", options_.user)) {
            error_ = "cannot make the home folder of the user";
            return false;
        }
    } else {
        // The program folder is the folder of the program file: a copy (not a link, which
        // /proc/self/exe would resolve) finds its libraries through its build run path.
        const std::string folder = ProgramFolder();
        std::filesystem::create_directories(folder);
        std::filesystem::copy_file(program, folder + "/tapwedge");
        rig::ProgramSetup setup;
        setup.com_port = options_.link == Link::Com ? options_.com_port : 0;
        setup.iso15693 = true;
        setup.csv_file = "log.csv";
        setup.mutual_authentication = options_.mutual_authentication;
        setup.wait_time_ms = options_.wait_time_ms;
        if (options_.wrong_reader_keys) {
            TwAuthKeys keys{};
            for (std::uint8_t* key : {keys.Id, keys.Kar, keys.Kbr, keys.Kcr}) std::fill(key, key + 8, 0x5A);
            setup.reader_keys = keys;
        }
        if (const std::string error = rig::WriteProgramFiles(folder, setup); !error.empty()) {
            error_ = error;
            return false;
        }
    }
    const std::string runtime = tmp_ / "run";
    if (!MakeOwnFolder(runtime, options_.user)) {
        error_ = "cannot make the runtime folder";
        return false;
    }

    rig::ChildProcess::Options& options = program_options_;
    options.environment = {{"DISPLAY", display_->Name()},
                           {"QT_QPA_PLATFORM", "xcb"},
                           {"XDG_RUNTIME_DIR", runtime},
                           // No session bus: Qt's tray icon goes to the XEmbed tray of trayer.
                           {"DBUS_SESSION_BUS_ADDRESS", rig::kUnset},
                           {"SESSION_MANAGER", options_.session_manager.empty()
                                                   ? std::string(rig::kUnset)
                                                   : options_.session_manager}};
    if (AsIs()) {
        options.environment["HOME"] = tmp_ / "home";
        options.environment["XDG_CONFIG_HOME"] = rig::kUnset;
        options.environment["LD_LIBRARY_PATH"] = rig::kUnset;
    } else {
        options.environment["HOME"] = tmp_.Path();
        options.environment["XDG_CONFIG_HOME"] = tmp_ / "config";
    }
    // In a sanitizer build the program ends clean but for what the system's D-Bus library keeps.
    const char* lsan = getenv("LSAN_OPTIONS");
    options.environment["LSAN_OPTIONS"] = std::string(lsan ? lsan : "") + (lsan && *lsan ? ":" : "") +
                                          "suppressions=" TAPWEDGE_LSAN_SUPPRESSIONS;
    options.stderr_file = tmp_ / "program.err";
    options.directory = AsIs() ? tmp_ / "home" : ProgramFolder();
    if (options_.link == Link::Com) {
        // A program run as it is makes its settings folder first.
        if (!AsIs()) StartComSimulator();
    } else {
        options.environment["LD_PRELOAD"] = RIG_LIB_DIR "/libreader_sim_preload.so";
        options.environment["LD_LIBRARY_PATH"] = FAKE_D2XX_DIR;
        options.environment["TAPWEDGE_SIM_CONTROL"] = SimSocket();
        // A sanitizer build's runtime would rather come first; the preloaded library is built
        // with the same sanitizer.
        const char* asan = getenv("ASAN_OPTIONS");
        options.environment["ASAN_OPTIONS"] =
            std::string(asan ? asan : "") + (asan && *asan ? ":" : "") + "verify_asan_link_order=0";
    }
    return true;
}

void ProgramRun::StartComSimulator() {
    const std::string ports = AsIs() ? SettingsFolder() + "/ports" : tmp_ / "config/tapwedge/ports";
    rig::ChildProcess::Options simOptions;
    simOptions.stdout_file = tmp_ / "reader-sim.out";
    simOptions.stderr_file = tmp_ / "reader-sim.err";
    sim_ = std::make_unique<rig::ChildProcess>(
        AsUser({RIG_BIN_DIR "/reader-sim", "--com", std::to_string(options_.com_port), "--ports", ports,
                "--control", SimSocket()}),
        simOptions);
}

// Starts the program; the simulator with the standard cards is ready when it returns "".
std::string ProgramRun::LaunchProgram() {
    const std::string program = AsIs() ? options_.program_file : ProgramFolder() + "/tapwedge";
    program_ = std::make_unique<rig::ChildProcess>(AsUser({program}), program_options_);
    if (AsIs() && !sim_) {
        if (!rig::WaitForFile(SettingsFolder() + "/Card.set", 15000))
            return "the program made no settings folder with a Card.set: " + ProgramErrors();
        StartComSimulator();
    }
    // Over USB the simulator lives in the program's process: each start brings a new one.
    const bool newSimulator = !control_ || options_.link == Link::Usb;
    if (newSimulator) control_ = std::make_unique<rig::ControlClient>(SimSocket(), 15000);
    if (!program_->Started() || !control_->Connected())
        return "the program or the simulator did not start: " + ProgramErrors();
    if (!newSimulator) return "";
    if (const std::string reply = Command("add standard"); reply.rfind("ok", 0) != 0)
        return "the simulator does not answer: " + reply;
    if (options_.reply_latency_ms > 0) Command("latency " + std::to_string(options_.reply_latency_ms));
    return "";
}

int ProgramRun::StopProgram() {
    if (options_.link == Link::Usb) control_.reset();
    return program_ ? program_->Stop() : -1;
}

std::string ProgramRun::StartProgramAgain() {
    if (ProgramRunning()) return "the program still runs";
    return LaunchProgram();
}

bool ProgramRun::RecorderHoldsFocus(bool hold) {
    if (!recorder_ || !recorder_->Running()) return false;
    kill(recorder_->Pid(), hold ? SIGUSR2 : SIGUSR1);
    const std::string answer = std::string("key-recorder: focus ") + (hold ? "held" : "released") + " (" +
                               std::to_string(++recorder_focus_changes_) + ")";
    return recorder_->WaitForStderr(answer, 5000);
}

std::string ProgramRun::Command(const std::string& line) {
    if (!control_) return "no reply";
    return control_->Send(line, 15000).value_or("no reply");
}

bool ProgramRun::WaitReady(int timeoutMs) {
    for (auto end = Clock::now() + std::chrono::milliseconds(timeoutMs); Clock::now() < end;) {
        if (Command("status").find(" authenticated=1") != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

std::vector<KeyEvent> ProgramRun::Keys(std::size_t chars, int timeoutMs) {
    std::vector<KeyEvent> events;
    std::size_t count = 0;
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (std::size_t eol; count < chars && (eol = recorded_.find('\n')) != std::string::npos;) {
            KeyEvent event;
            if (ParseKeyLine(recorded_.substr(0, eol), event)) {
                count += event.chars.size();
                events.push_back(event);
            }
            recorded_.erase(0, eol + 1);
        }
        if (count >= chars) break;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        if (left <= 0) break;
        const std::string more = recorder_->ReadStdout(static_cast<int>(left));
        if (more.empty()) break;
        recorded_ += more;
    }
    return events;
}

std::string ProgramRun::Typed(std::size_t chars, int timeoutMs) {
    std::string text;
    for (const KeyEvent& e : Keys(chars, timeoutMs)) text += e.chars;
    return text;
}

std::string ProgramRun::CsvText() const {
    std::ifstream in(SettingsFolder() + "/log.csv", std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string ProgramRun::NewCsvText() {
    std::ifstream in(SettingsFolder() + "/log.csv", std::ios::binary);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (!in || size <= csv_read_) return "";
    std::string text(static_cast<std::size_t>(size - csv_read_), '\0');
    in.seekg(csv_read_);
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    csv_read_ += static_cast<std::streamoff>(text.size());
    return text;
}

std::string ProgramRun::DisplayName() const { return display_ ? display_->Name() : ""; }

std::string ProgramRun::RecorderState() {
    recorder_->WaitForStderr("\n\n", 0);  // takes in whatever has come
    return std::string(recorder_->Running() ? "running" : "ended") + ": " + recorder_->Stderr();
}

std::string ProgramRun::ProgramErrors() const {
    std::ifstream in(tmp_ / "program.err");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace e2e
