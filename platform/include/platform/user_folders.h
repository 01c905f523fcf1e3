#pragma once
// The per-user folders of the XDG base-directory rule.
#include <string>

namespace platform {

// The user's home folder: $HOME when it is an absolute path, else the account's home folder in
// the user database; "" when neither is known.
std::string HomeFolder();

// The user's configuration folder: $XDG_CONFIG_HOME when it is an absolute path (a relative value
// counts as unset), else the home folder + "/.config"; "" without a home folder. Read anew at
// each call.
std::string UserConfigFolder();

}  // namespace platform
