#pragma once

#include <string>
#include <string_view>

namespace sextara::platform {

// The folder that holds the running program (from /proc/self/exe), without a
// trailing slash. The language library is looked for here.
std::string ProgramDirectory();

// The data folder holds config.ini, the settings store, "Mylog.txt" and
// "SourceTable.dat". In order of precedence: the folder set here (from
// --home), the environment variable SEXTARA_HOME, the program's directory.
// An empty folder clears the setting. Safe to call from any thread.
void SetDataFolder(const std::string& folder);
std::string DataFolder();
// The data folder joined with a file name by one slash.
std::string DataPath(std::string_view name);

// Empty when the data folder can keep files; otherwise why it cannot, as
// words that follow its name: "does not exist", "is not a folder", "is
// read-only", "is full", ... Creates and removes one small probe file.
std::string CheckDataFolder();

}  // namespace sextara::platform
