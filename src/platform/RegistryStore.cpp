#include "platform/RegistryStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/AtomicFile.h"

namespace sextara::platform {
namespace {

// The two keys hold a dozen short values; a file far beyond that is not ours.
constexpr std::size_t kMaxStoreFileBytes = 1 << 20;

constexpr const char* kHeader =
    "; Sextara settings store: [key], then \"name\"=\"text\" or \"name\"=dword:hex\n";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool IsUsableKeyName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            return false;
        }
    }
    return true;
}

void AppendQuoted(std::string& out, std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
            case '\\': out += "\\\\"; break;
            case '"': out += "\\\""; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (byte < 0x20 || byte == 0x7f) {
                    out += "\\x";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0x0f];
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a quoted text at the start of rest and moves rest past it.
bool ReadQuoted(std::string_view& rest, std::string& out) {
    if (rest.empty() || rest.front() != '"') {
        return false;
    }
    out.clear();
    std::size_t i = 1;
    while (i < rest.size()) {
        const char c = rest[i++];
        if (c == '"') {
            rest.remove_prefix(i);
            return true;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i >= rest.size()) {
            return false;
        }
        const char escaped = rest[i++];
        switch (escaped) {
            case '\\': out += '\\'; break;
            case '"': out += '"'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'x': {
                if (i + 2 > rest.size()) {
                    return false;
                }
                const int high = HexDigit(rest[i]);
                const int low = HexDigit(rest[i + 1]);
                if (high < 0 || low < 0) {
                    return false;
                }
                out += static_cast<char>(high * 16 + low);
                i += 2;
                break;
            }
            default: return false;
        }
    }
    return false;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

}  // namespace

RegistryStore::RegistryStore(std::string filePath, LogFunction log)
    : filePath_(std::move(filePath)), log_(std::move(log)) {
    Load();
}

void RegistryStore::Load() {
    std::string text;
    switch (ReadWholeFile(filePath_, text, kMaxStoreFileBytes)) {
        case FileRead::Ok: break;
        case FileRead::Missing: return;  // the first start, not a fault
        case FileRead::Failed:
            if (log_) {
                log_(ExistsButNotRegular(filePath_)
                         ? "Registry File Unreadable, Defaults Used! (not a regular file)"
                         : "Registry File Unreadable, Defaults Used!");
            }
            setAside_ = true;
            return;
    }
    std::vector<KeyData> keys;
    if (!Parse(text, keys)) {
        if (log_) log_("Registry File Corrupt, Defaults Used!");
        setAside_ = true;
        return;
    }
    keys_ = std::move(keys);
}

bool RegistryStore::ParseValue(std::string_view line, Value& value) {
    if (!ReadQuoted(line, value.name)) {
        return false;
    }
    line = Trim(line);
    if (line.empty() || line.front() != '=') {
        return false;
    }
    line = Trim(line.substr(1));
    if (!line.empty() && line.front() == '"') {
        value.isDword = false;
        return ReadQuoted(line, value.text) && Trim(line).empty();
    }
    constexpr std::string_view kDword = "dword:";
    if (line.substr(0, kDword.size()) != kDword) {
        return false;
    }
    const std::string_view digits = line.substr(kDword.size());
    if (digits.empty() || digits.size() > 8) {
        return false;
    }
    std::uint32_t number = 0;
    for (const char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return false;
        }
        number = number * 16 + static_cast<std::uint32_t>(digit);
    }
    value.isDword = true;
    value.dword = number;
    return true;
}

bool RegistryStore::Parse(std::string_view text, std::vector<KeyData>& keys) {
    keys.clear();
    KeyData* current = nullptr;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            continue;
        }
        if (line.front() == '[') {
            if (line.back() != ']' || !IsUsableKeyName(line.substr(1, line.size() - 2))) {
                return false;
            }
            const std::string_view name = line.substr(1, line.size() - 2);
            current = nullptr;
            for (KeyData& key : keys) {
                if (SameName(key.name, name)) {
                    current = &key;
                }
            }
            if (current == nullptr) {
                keys.push_back(KeyData{std::string(name), {}});
                current = &keys.back();
            }
            continue;
        }
        Value value;
        if (current == nullptr || !ParseValue(line, value)) {
            return false;
        }
        if (Value* existing = FindValue(*current, value.name)) {
            *existing = std::move(value);
        } else {
            current->values.push_back(std::move(value));
        }
    }
    return true;
}

std::string RegistryStore::Serialize(const std::vector<KeyData>& keys) {
    std::string out = kHeader;
    for (const KeyData& key : keys) {
        out += "\n[";
        out += key.name;
        out += "]\n";
        for (const Value& value : key.values) {
            AppendQuoted(out, value.name);
            out += '=';
            if (value.isDword) {
                char digits[16];
                std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(value.dword));
                out += digits;
            } else {
                AppendQuoted(out, value.text);
            }
            out += '\n';
        }
    }
    return out;
}

RegistryStore::KeyData* RegistryStore::FindKey(std::string_view key) {
    for (KeyData& data : keys_) {
        if (SameName(data.name, key)) {
            return &data;
        }
    }
    return nullptr;
}

RegistryStore::Value* RegistryStore::FindValue(KeyData& key, std::string_view name) {
    for (Value& value : key.values) {
        if (SameName(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

bool RegistryStore::Save(const std::vector<KeyData>& keys) {
    if (setAside_) {
        // Still missing is fine (the user removed it meanwhile); anything
        // else that cannot be moved must not be written over.
        struct stat info {};
        if (::lstat(filePath_.c_str(), &info) == 0) {
            const std::string kept = SetFileAside(filePath_);
            if (kept.empty()) {
                if (log_) log_("Registry File Could Not Be Set Aside, Not Saved!");
                return false;
            }
            if (log_) {
                const std::size_t slash = kept.rfind('/');
                log_(("Registry File Kept As " + kept.substr(slash == std::string::npos ? 0 : slash + 1)).c_str());
            }
        }
        setAside_ = false;
    }
    // The caster password is kept here: readable by its owner only.
    return WriteFileAtomically(filePath_, Serialize(keys), 0600);
}

std::optional<RegistryStore::Key> RegistryStore::OpenKey(std::string_view key) {
    std::lock_guard<std::mutex> guard(lock_);
    if (const KeyData* data = FindKey(key)) {
        return Key(*this, data->name);
    }
    return std::nullopt;
}

std::optional<RegistryStore::Key> RegistryStore::CreateKey(std::string_view key) {
    if (!IsUsableKeyName(key)) {
        return std::nullopt;
    }
    std::lock_guard<std::mutex> guard(lock_);
    if (const KeyData* data = FindKey(key)) {
        return Key(*this, data->name);
    }
    std::vector<KeyData> changed = keys_;
    changed.push_back(KeyData{std::string(key), {}});
    if (!Save(changed)) {
        return std::nullopt;
    }
    keys_ = std::move(changed);
    return Key(*this, std::string(key));
}

bool RegistryStore::Flush() {
    std::lock_guard<std::mutex> guard(lock_);
    return Save(keys_);
}

bool RegistryStore::SetValue(std::string_view key, Value value) {
    std::lock_guard<std::mutex> guard(lock_);
    if (FindKey(key) == nullptr) {
        return false;
    }
    std::vector<KeyData> changed = keys_;
    KeyData* data = nullptr;
    for (KeyData& candidate : changed) {
        if (SameName(candidate.name, key)) {
            data = &candidate;
        }
    }
    if (Value* existing = FindValue(*data, value.name)) {
        // The value keeps the spelling of its name it was created with.
        value.name = existing->name;
        *existing = std::move(value);
    } else {
        data->values.push_back(std::move(value));
    }
    if (!Save(changed)) {
        return false;
    }
    keys_ = std::move(changed);
    return true;
}

std::optional<std::string> RegistryStore::Key::QueryString(std::string_view name) const {
    std::lock_guard<std::mutex> guard(store_->lock_);
    KeyData* data = store_->FindKey(name_);
    const Value* value = data != nullptr ? FindValue(*data, name) : nullptr;
    if (value == nullptr || value->isDword) {
        return std::nullopt;
    }
    return value->text;
}

std::optional<std::uint32_t> RegistryStore::Key::QueryDword(std::string_view name) const {
    std::lock_guard<std::mutex> guard(store_->lock_);
    KeyData* data = store_->FindKey(name_);
    const Value* value = data != nullptr ? FindValue(*data, name) : nullptr;
    if (value == nullptr || !value->isDword) {
        return std::nullopt;
    }
    return value->dword;
}

bool RegistryStore::Key::SetString(std::string_view name, std::string_view text) {
    Value value;
    value.name = std::string(name);
    value.text = std::string(text);
    return store_->SetValue(name_, std::move(value));
}

bool RegistryStore::Key::SetDword(std::string_view name, std::uint32_t number) {
    Value value;
    value.name = std::string(name);
    value.isDword = true;
    value.dword = number;
    return store_->SetValue(name_, std::move(value));
}

bool RegistryStore::Key::DeleteValue(std::string_view name) {
    std::lock_guard<std::mutex> guard(store_->lock_);
    std::vector<KeyData> changed = store_->keys_;
    for (KeyData& data : changed) {
        if (!SameName(data.name, name_)) {
            continue;
        }
        for (auto it = data.values.begin(); it != data.values.end(); ++it) {
            if (SameName(it->name, name)) {
                data.values.erase(it);
                if (!store_->Save(changed)) {
                    return false;
                }
                store_->keys_ = std::move(changed);
                return true;
            }
        }
    }
    return false;
}

}  // namespace sextara::platform
