#pragma once

// Files and folders of the history: their names as SQLite and messages take
// them, and the user's own data folder.

#include <filesystem>
#include <string>

namespace history {

// The path in UTF-8 (on Windows from its UTF-16 form; elsewhere its bytes).
std::string utf8Path(const std::filesystem::path &path);

// Makes each missing folder of `folder` readable by the user alone (on
// Windows the folders inherit the user's profile's rights). Throws
// HistoryError when one cannot be made.
void makePrivateFolder(const std::filesystem::path &folder);

// The program's folder in the user's data folder.
std::filesystem::path dataFolder();

}  // namespace history
