#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/LogFunction.h"

namespace sextara::platform {

// The user-interface texts by string-table id, UTF-8. The program's own table
// is Chinese; the English one lives in the outside language library LangRes
// (libLangRes.so), loaded at run time by name. Which one String reads is the
// effective language: English only when it was asked for and the library
// loaded, else Chinese. Texts with conversions ("%d", "%s") take the same
// arguments in both languages.
class StringTable {
public:
    StringTable() = default;
    ~StringTable();
    StringTable(const StringTable&) = delete;
    StringTable& operator=(const StringTable&) = delete;

    // language 0 Chinese, anything else English. For English the library is
    // looked for in the program's directory, then on the default search
    // path; when neither loads, "Load LanguageRes Failed!\n" goes to log and
    // the table stays Chinese. Returns the effective language: 1 or 0.
    int LoadLanguage(int language, const LogFunction& log);
    // As LoadLanguage, trying the given library paths in order.
    int LoadLanguageFrom(int language, const std::vector<std::string>& libraryPaths, const LogFunction& log);

    int EffectiveLanguage() const;

    // The text of an id in the effective language; empty for an unknown id.
    std::string String(int id) const;
    // String(id) used as a printf format with the arguments given.
    std::string Format(int id, ...) const;

    // The program's own (Chinese) text; empty for an unknown id. Some
    // messages come from here whatever the language.
    static std::string_view OwnString(int id);
    // The ids of the program's own table, ascending.
    static std::vector<int> OwnIds();

private:
    void UnloadLocked();

    mutable std::mutex lock_;
    void* library_ = nullptr;
    const char* (*english_)(int) = nullptr;
};

}  // namespace sextara::platform
