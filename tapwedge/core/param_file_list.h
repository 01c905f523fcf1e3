#pragma once
// Names of the card-parameter files ("*.set") of a folder, and the checks on a name the user
// types for saving one.
#include <string>
#include <string_view>
#include <vector>

namespace tapwedge {

inline constexpr std::string_view kParamFileExtension = ".set";

// The extension of a bare name: from its last '.' on, or empty when it has none.
std::string_view FileExtension(std::string_view name);

// True when the extension of name is ".set" without regard to case.
bool HasParamFileExtension(std::string_view name);

// name with its extension replaced by ".set", or ".set" appended when it has none.
std::string WithParamFileExtension(std::string_view name);

// Appends to names every regular file of folder (or link to one) whose extension is ".set"
// without regard to case, in the order the system returns them (no sorting).
// Returns 0, or -1 (names untouched) when the folder cannot be listed.
int ListParamFileNames(const std::string& folder, std::vector<std::string>& names);

// Index of the first of names that equals name when both are upper-cased (ASCII letters), or -1.
int FindNameIgnoringCase(const std::vector<std::string>& names, std::string_view name);

// Index of the listed file that name names: the one spelled exactly so, else the first that
// matches without regard to case (names that differ only in case are different files here), or -1.
int FindListedName(const std::vector<std::string>& names, std::string_view name);

// A name the dialog may save to: a bare name (no '/', no NUL) that fits maxBytes and has more
// than blanks before its extension. An empty name, which would become the hidden file ".set",
// is refused.
bool IsSavableParamFileName(std::string_view name, std::size_t maxBytes);

}  // namespace tapwedge
