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

namespace sextara::platform {

// The data folder of a program started without --home or SEXTARA_HOME: its
// own directory when that is writable (a copy run from its build or unpacked
// folder), otherwise the user's data folder, $XDG_DATA_HOME/sextara or else
// ~/.local/share/sextara. Environment values are passed in; null or empty
// counts as unset.
std::string ChooseDataFolder(const std::string& programDirectory, bool programDirectoryWritable,
                             const char* xdgDataHome, const char* home);

// ChooseDataFolder for this process. When the choice is the user's folder it
// is created (with its parents) and given the default config.ini
// (defaultConfig) when it has none. Returns the folder; SetDataFolder is the
// caller's.
std::string PrepareDefaultDataFolder(const std::string& defaultConfig);

}  // namespace sextara::platform
