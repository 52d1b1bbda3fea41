#pragma once

// The outside language library: a shared library that the program loads at
// run time by name (never links), holding the English string table by the
// same ids as the program's own Chinese table. Built by this project as
// libLangRes.so next to the executables.

extern "C" {
// The UTF-8 English text of a string-table id; null for an id it lacks.
__attribute__((visibility("default"))) const char* LangResString(int id);
}

namespace sextara::langres {

inline constexpr const char* kLibraryFileName = "libLangRes.so";
inline constexpr const char* kStringSymbol = "LangResString";
using StringFunction = const char* (*)(int id);

}  // namespace sextara::langres
