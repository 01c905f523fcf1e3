#include "platform/serial_ports.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <fstream>
#include <mutex>

#include "platform/user_folders.h"

namespace platform {
namespace {

std::mutex g_mutex;
std::string g_folder;  // "" = the default folder

std::string DefaultFolder() {
    const std::string config = UserConfigFolder();
    return config.empty() ? "" : config + "/tapwedge/ports";
}

bool IsCharacterDevice(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISCHR(info.st_mode);  // follows links
}

// Parses "comN" (any case) into N, or 0 when the name is not of that form.
int ComNumberOfName(const char* name) {
    if (strncasecmp(name, "com", 3) != 0) return 0;
    const char* digits = name + 3;
    if (*digits < '1' || *digits > '9') return 0;
    int number = 0;
    for (const char* p = digits; *p; ++p) {
        if (*p < '0' || *p > '9') return 0;
        number = number * 10 + (*p - '0');
        if (number > kMaxComNumber) return 0;
    }
    return number;
}

// The link for `number` in the folder (the first name that reads as that number), or "".
std::string LinkedPath(const std::string& folder, int number) {
    if (folder.empty()) return "";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return "";
    std::string found;
    while (const dirent* entry = readdir(dir)) {
        if (ComNumberOfName(entry->d_name) == number) {
            found = folder + "/" + entry->d_name;
            break;
        }
    }
    closedir(dir);
    return found;
}

// A ttyS node exists for every possible 8250 port; only a detected UART has a type above 0.
bool HasRealUart(int index) {
    std::ifstream type("/sys/class/tty/ttyS" + std::to_string(index) + "/type");
    int value = 0;
    return type >> value && value > 0;
}

std::string DefaultPath(int number) {
    if (number >= 1 && number <= 32) {
        const int index = number - 1;
        const std::string path = "/dev/ttyS" + std::to_string(index);
        return HasRealUart(index) && IsCharacterDevice(path) ? path : "";
    }
    const char* family = nullptr;
    int index = 0;
    if (number >= 33 && number <= 64) {
        family = "/dev/ttyUSB";
        index = number - 33;
    } else if (number >= 65 && number <= 96) {
        family = "/dev/ttyACM";
        index = number - 65;
    } else {
        return "";
    }
    const std::string path = family + std::to_string(index);
    return IsCharacterDevice(path) ? path : "";
}

}  // namespace

std::string SerialPortFolder() {
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_folder.empty() ? DefaultFolder() : g_folder;
}

void SetSerialPortFolder(const std::string& folder) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_folder = folder;
}

std::string SerialPortPath(int number) {
    if (number < kMinComNumber || number > kMaxComNumber) return "";
    // A link binds its number even when the default rule would give another device;
    // a link to a device that is absent makes the port absent.
    const std::string linked = LinkedPath(SerialPortFolder(), number);
    if (!linked.empty()) return IsCharacterDevice(linked) ? linked : "";
    return DefaultPath(number);
}

bool SerialPortExists(int number) { return !SerialPortPath(number).empty(); }

std::vector<int> ListSerialPorts() {
    std::vector<int> ports;
    for (int number = kMinComNumber; number <= kMaxComNumber; ++number) {
        if (SerialPortExists(number)) ports.push_back(number);
    }
    return ports;
}

}  // namespace platform
