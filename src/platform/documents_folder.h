#pragma once
#include <cstddef>
#include <ctime>
#include <string>

namespace tarvelmond::platform {

// The current user's Documents folder: on Windows the shell's personal folder (SHGetFolderPathA,
// CSIDL_PERSONAL); elsewhere XDG_DOCUMENTS_DIR from the environment or from the user-dirs file, else
// ~/Documents. Empty when it cannot be determined.
std::string documentsFolder();

// The documents folder shared by all users (Windows: CSIDL_COMMON_DOCUMENTS); empty elsewhere.
std::string commonDocumentsFolder();

// The process's current directory; empty when it cannot be read or is longer than `maxLength`.
std::string currentDirectory(std::size_t maxLength);

// Local calendar time of `t` (thread-safe).
std::tm localTime(std::time_t t);

}  // namespace tarvelmond::platform
