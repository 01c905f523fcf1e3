#include "platform/user_folders.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

namespace platform {
namespace {

// An environment variable that holds an absolute path, or "". Relative values are ignored, as
// the XDG base-directory rule asks.
std::string AbsolutePathVariable(const char* name) {
    const char* value = getenv(name);
    return value && value[0] == '/' ? value : "";
}

}  // namespace

std::string HomeFolder() {
    std::string home = AbsolutePathVariable("HOME");
    if (!home.empty()) return home;
    const passwd* user = getpwuid(getuid());
    return user && user->pw_dir ? user->pw_dir : "";
}

std::string UserConfigFolder() {
    const std::string config = AbsolutePathVariable("XDG_CONFIG_HOME");
    if (!config.empty()) return config;
    const std::string home = HomeFolder();
    return home.empty() ? "" : home + "/.config";
}

}  // namespace platform
