#pragma once
// What the user is told when something the program writes is lost: a tray message and a line
// for standard error.
#include <string>

namespace tapwedge {

struct FailureTexts {
    std::string Title;      // of the tray message (UTF-8)
    std::string Message;    // the tray message, with the file's path (UTF-8)
    std::string ErrorLine;  // for standard error, with the path and the system's reason
};

}  // namespace tapwedge
