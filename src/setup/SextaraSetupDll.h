#pragma once

// The setup library the package installer loads by name while it installs
// or removes the program. Its one job: before a new installation is laid
// down, delete the shortcuts an earlier one left behind. It shares nothing
// with the program.
//
// The installer's entry points keep their argument lists; window handles are
// opaque pointers, flags ints, counts 16-bit, the install folder a path.
// Every entry point returns 0 (continue).
//
// The device paths of the shortcuts are taken under a root folder: "/" by
// default, the environment variable SEXTARA_SETUP_ROOT when set (a package's
// maintainer scripts), or SextaraSetup_SetRoot (tests), which wins.

#include <cstdint>

extern "C" {

// Results: 0 means continue / done for each entry point.
enum { kSetupContinue = 0 };

int Install_Init(void* hwndParent, int firstCall, int previouslyInstalled, const char* installDir);
int Install_Exit(void* hwndParent, const char* installDir, std::uint16_t failedDirs, std::uint16_t failedFiles,
                 std::uint16_t failedRegKeys, std::uint16_t failedRegVals, std::uint16_t failedShortcuts);
int Uninstall_Init(void* hwndParent, const char* installDir);
int Uninstall_Exit(void* hwndParent);

// Null or empty goes back to the environment or "/".
void SextaraSetup_SetRoot(const char* root);
}
