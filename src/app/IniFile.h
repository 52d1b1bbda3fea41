#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace sextara {

// The INI store behind config.ini. The whole file is kept as a list of lines,
// so comments, foreign sections and the order of lines survive a rewrite;
// only the lines that Set and Delete touch change.
//
// The matching rules are deliberately literal, because existing files rely on
// them: a section is found only by a line that is exactly "[name]" (spaces or
// a trailing comment hide it); a key is the text before the first "=",
// compared byte for byte with no trimming; its value is the text after the
// "=" up to a ";" comment, spaces kept.
class IniFile {
public:
    enum class LineKind : std::uint8_t {
        kNew = 0,      // never written
        kSection = 1,  // "[" and "]" before any ";"
        kEntry = 2,    // "=" before any ";"
        kOther = 3,    // comments, blank lines, anything else
    };
    struct Line {
        LineKind kind = LineKind::kNew;
        std::string text;  // as read, comment included, no line end
    };

    // Reads the whole file, each line whole whatever its length; a CR before
    // the LF is dropped. False, with an empty store, when it cannot be read.
    bool Load(const std::string& path);
    // Writes every line with CR LF, atomically: a failed save leaves the old
    // file as it was. False, with an empty store, on failure.
    bool Save(const std::string& path);
    void Close();

    std::string GetString(std::string_view section, std::string_view key, std::string_view defaultText) const;
    // Decimal text as the C library reads it: 0 for text that is not a number.
    int GetInt(std::string_view section, std::string_view key, int defaultValue) const;
    bool GetBool(std::string_view section, std::string_view key, bool defaultValue) const;
    double GetDouble(std::string_view section, std::string_view key, double defaultValue) const;

    // A new key goes directly under its section's header, so keys added one
    // after another end up in reverse order above the existing ones; a
    // missing section is appended at the end of the file. An existing key
    // keeps its place and its comment.
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, int value);
    void SetBool(std::string_view section, std::string_view key, bool value);
    void SetDouble(std::string_view section, std::string_view key, double value);
    bool DeleteKey(std::string_view section, std::string_view key);

    // Every entry of a section as (key, value), in file order.
    std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

    const std::list<Line>& Lines() const { return lines_; }

private:
    std::list<Line> lines_;
};

}  // namespace sextara
