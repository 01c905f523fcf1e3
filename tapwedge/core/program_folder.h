#pragma once
// The folder that holds the program file, where the INI file lives.
#include <string>

namespace tapwedge {

// The folder of the running program file, ending with '/'. Falls back to "./" when the
// program file cannot be found.
std::string ProgramFolder();

// True when path names an existing folder.
bool IsExistingFolder(const std::string& path);

// path with a '/' appended unless it already ends with one.
std::string WithTrailingSeparator(std::string path);

}  // namespace tapwedge
