#pragma once
// Telling the user that a change of the settings will not outlive this run: once when the
// settings file cannot be saved, and again only after a save succeeded in between. The change
// itself holds until the program ends.
#include <optional>
#include <string>

#include "core/failure_texts.h"

namespace tapwedge {

class SettingsSaveNotice {
public:
    // Takes the result of one save of path: 0 saved, else failed with the system's error
    // (errno). The texts when this failure is to be told now.
    std::optional<FailureTexts> Record(int result, int error, const std::string& path);

private:
    bool failing_ = false;
};

}  // namespace tapwedge
