#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/LogFunction.h"

namespace sextara::platform {

// File name of the settings store in the data folder.
inline constexpr const char* kRegistryFileName = "registry.ini";

// Keyed settings of string and 32-bit values ("software\\Brellmark",
// "software\\GPS\\GPS"), kept in one text file in the data folder:
//
//   ; Sextara settings store
//   [software\Brellmark]
//   "LOGNAME"="LogRawName"
//   "LOGTYPE"=dword:00000000
//
// A key is a line in brackets; each value below it is a quoted name, "=",
// then a quoted string or "dword:" and one to eight hex digits. Inside quotes
// a backslash escapes '\\', '"', \n, \r, \t and \xHH (any other byte below
// 0x20 or 0x7f is written that way; UTF-8 stays as it is). Blank lines and
// lines starting with ';' or '#' are ignored. Key and value names compare
// without regard to ASCII case and keep the spelling they were created with.
// Keys are flat: a key is not the parent of a longer one.
//
// The file is read once, by the constructor. A file that cannot be read or does not
// follow this format reads as having no keys at all, and one line goes to the
// event log. At the next save it is first set aside unchanged as
// "registry.ini.bad-<UTC time>" (logged), so the user's values can still be
// recovered by hand; when that fails nothing is saved over it. Every change is saved at once,
// atomically, so a crash or a full disk never loses the settings saved
// before; a change whose save fails is undone in memory too. The file is
// written with mode 0600: it holds the caster password. Thread-safe.
class RegistryStore {
public:
    class Key;

    RegistryStore(std::string filePath, LogFunction log);
    RegistryStore(const RegistryStore&) = delete;
    RegistryStore& operator=(const RegistryStore&) = delete;

    // None when the key does not exist.
    std::optional<Key> OpenKey(std::string_view key);
    // Opens the key, creating and saving it first when missing; none when the
    // name is not usable or the store cannot be saved.
    std::optional<Key> CreateKey(std::string_view key);
    // Writes the store out again; false when that fails.
    bool Flush();

    const std::string& FilePath() const { return filePath_; }

    // A handle on one key; valid while its store lives.
    class Key {
    public:
        std::optional<std::string> QueryString(std::string_view name) const;
        std::optional<std::uint32_t> QueryDword(std::string_view name) const;
        // False when the store could not be saved; the value is then as before.
        bool SetString(std::string_view name, std::string_view value);
        bool SetDword(std::string_view name, std::uint32_t value);
        bool DeleteValue(std::string_view name);
        const std::string& Name() const { return name_; }

    private:
        friend class RegistryStore;
        Key(RegistryStore& store, std::string name) : store_(&store), name_(std::move(name)) {}
        RegistryStore* store_;
        std::string name_;
    };

private:
    struct Value {
        std::string name;
        bool isDword = false;
        std::string text;
        std::uint32_t dword = 0;
    };
    struct KeyData {
        std::string name;
        std::vector<Value> values;
    };

    static std::string Serialize(const std::vector<KeyData>& keys);
    // False on the first line that does not fit the format.
    static bool Parse(std::string_view text, std::vector<KeyData>& keys);
    static bool ParseValue(std::string_view line, Value& value);
    void Load();
    KeyData* FindKey(std::string_view key);
    static Value* FindValue(KeyData& key, std::string_view name);
    bool SetValue(std::string_view key, Value value);
    bool Save(const std::vector<KeyData>& keys);

    const std::string filePath_;
    const LogFunction log_;
    mutable std::mutex lock_;
    std::vector<KeyData> keys_;
    // The file read badly and is still in place; guarded by lock_.
    bool setAside_ = false;
};

}  // namespace sextara::platform
