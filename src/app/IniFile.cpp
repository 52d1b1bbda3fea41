#include "app/IniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "platform/AtomicFile.h"

namespace sextara {
namespace {

std::string_view WithoutComment(std::string_view text) {
    return text.substr(0, text.find(';'));
}

IniFile::LineKind Classify(std::string_view text) {
    const std::string_view body = WithoutComment(text);
    if (body.find('[') != std::string_view::npos && body.find(']') != std::string_view::npos) {
        return IniFile::LineKind::kSection;
    }
    if (body.find('=') != std::string_view::npos) {
        return IniFile::LineKind::kEntry;
    }
    return IniFile::LineKind::kOther;
}

std::string_view KeyOf(std::string_view entry) {
    return entry.substr(0, entry.find('='));
}

std::string_view ValueOf(std::string_view entry) {
    const std::string_view body = WithoutComment(entry);
    const std::size_t equals = body.find('=');
    return equals == std::string_view::npos ? std::string_view{} : body.substr(equals + 1);
}

std::string_view CommentOf(std::string_view entry) {
    const std::size_t semicolon = entry.find(';');
    return semicolon == std::string_view::npos ? std::string_view{} : entry.substr(semicolon);
}

// Both work on the const and the non-const list alike.
template <typename Lines>
auto FindSection(Lines& lines, std::string_view section) {
    std::string header = "[";
    header += section;
    header += ']';
    for (auto it = lines.begin(); it != lines.end(); ++it) {
        if (it->kind == IniFile::LineKind::kSection && it->text == header) {
            return it;
        }
    }
    return lines.end();
}

// The section header and the entry line; either is lines.end() when missing.
template <typename Lines>
auto FindEntry(Lines& lines, std::string_view section, std::string_view key) {
    const auto header = FindSection(lines, section);
    auto entry = lines.end();
    if (header != lines.end()) {
        for (auto it = std::next(header); it != lines.end() && it->kind != IniFile::LineKind::kSection;
             ++it) {
            if (it->kind == IniFile::LineKind::kEntry && KeyOf(it->text) == key) {
                entry = it;
                break;
            }
        }
    }
    return std::make_pair(header, entry);
}

}  // namespace

bool IniFile::Load(const std::string& path) {
    Close();
    try {
        std::string text;
        if (platform::ReadWholeFile(path, text) != platform::FileRead::Ok) {
            return false;
        }
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            const bool lastWithoutLf = end == std::string::npos;
            if (lastWithoutLf) {
                end = text.size();
            }
            std::size_t stop = end;
            // Text mode on the system the files come from reads CR LF as LF.
            if (!lastWithoutLf && stop > start && text[stop - 1] == '\r') {
                --stop;
            }
            std::string lineText = text.substr(start, stop - start);
            const LineKind kind = Classify(lineText);
            lines_.push_back(Line{kind, std::move(lineText)});
            start = end + 1;
        }
    } catch (const std::bad_alloc&) {
        Close();
        return false;
    }
    return true;
}

bool IniFile::Save(const std::string& path) {
    std::string text;
    for (const Line& line : lines_) {
        if (line.kind != LineKind::kNew) {
            text += line.text;
            text += "\r\n";
        }
    }
    if (!platform::WriteFileAtomically(path, text)) {
        Close();
        return false;
    }
    return true;
}

void IniFile::Close() {
    lines_.clear();
}

std::string IniFile::GetString(std::string_view section, std::string_view key,
                               std::string_view defaultText) const {
    const auto [header, entry] = FindEntry(lines_, section, key);
    if (entry == lines_.end()) {
        return std::string(defaultText);
    }
    return std::string(ValueOf(entry->text));
}

int IniFile::GetInt(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string text = GetString(section, key, std::to_string(defaultValue));
    // Out-of-range numbers are held at the ends of int instead of wrapping.
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

bool IniFile::GetBool(std::string_view section, std::string_view key, bool defaultValue) const {
    const std::string text = GetString(section, key, defaultValue ? "1" : "0");
    return std::strtol(text.c_str(), nullptr, 10) != 0;
}

double IniFile::GetDouble(std::string_view section, std::string_view key, double defaultValue) const {
    // The default goes through the same text form as a stored value, so a
    // missing key reads back as the default rounded to 11 significant digits.
    char defaultText[64];
    std::snprintf(defaultText, sizeof defaultText, "%1.10E", defaultValue);
    const std::string text = GetString(section, key, defaultText);
    double value = 0.0;
    if (std::sscanf(text.c_str(), "%lE", &value) != 1) {
        return 0.0;
    }
    return value;
}

void IniFile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    std::string entry(key);
    entry += '=';
    entry += value;
    // Lines made here are entries and headers by construction, whatever
    // characters the value holds.
    const auto [header, existing] = FindEntry(lines_, section, key);
    if (existing != lines_.end()) {
        entry += CommentOf(existing->text);
        existing->text = std::move(entry);
        return;
    }
    if (header != lines_.end()) {
        lines_.insert(std::next(header), Line{LineKind::kEntry, std::move(entry)});
        return;
    }
    std::string newHeader = "[";
    newHeader += section;
    newHeader += ']';
    lines_.push_back(Line{LineKind::kSection, std::move(newHeader)});
    lines_.push_back(Line{LineKind::kEntry, std::move(entry)});
}

void IniFile::SetInt(std::string_view section, std::string_view key, int value) {
    SetString(section, key, std::to_string(value));
}

void IniFile::SetBool(std::string_view section, std::string_view key, bool value) {
    SetString(section, key, value ? "1" : "0");
}

void IniFile::SetDouble(std::string_view section, std::string_view key, double value) {
    char text[512];
    std::snprintf(text, sizeof text, "%.20f", value);
    SetString(section, key, text);
}

bool IniFile::DeleteKey(std::string_view section, std::string_view key) {
    const auto [header, entry] = FindEntry(lines_, section, key);
    if (entry == lines_.end()) {
        return false;
    }
    lines_.erase(entry);
    return true;
}

std::vector<std::pair<std::string, std::string>> IniFile::Entries(std::string_view section) const {
    std::vector<std::pair<std::string, std::string>> entries;
    auto it = FindSection(lines_, section);
    if (it == lines_.end()) {
        return entries;
    }
    for (++it; it != lines_.end() && it->kind != LineKind::kSection; ++it) {
        if (it->kind == LineKind::kEntry) {
            entries.emplace_back(KeyOf(it->text), ValueOf(it->text));
        }
    }
    return entries;
}

}  // namespace sextara
