#include "corrections/NtripProtocol.h"

#include <cstdio>

namespace sextara::corrections {
namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr const char* kNtripVersionLine = "Ntrip-Version: Ntrip/2.0\r\n";
constexpr const char* kAgentName = "NTRIP NtripClientPOSIX";
constexpr const char* kAgentRevision = "$Revision: 1.50 $";

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::size_t EncodeBasicCredentials(char* out, std::size_t room, std::string_view user,
                                   std::string_view password) {
    const std::size_t total = user.size() + 1 + password.size();
    auto byteAt = [&](std::size_t i) -> std::uint32_t {
        if (i < user.size()) return static_cast<unsigned char>(user[i]);
        if (i == user.size()) return ':';
        return static_cast<unsigned char>(password[i - user.size() - 1]);
    };
    std::size_t written = 0;
    auto put = [&](char c) {
        if (out != nullptr && room > 0 && written < room - 1) {
            out[written++] = c;
        }
    };
    std::size_t length = 0;
    for (std::size_t i = 0; i < total; i += 3) {
        const std::size_t have = total - i < 3 ? total - i : 3;
        std::uint32_t group = byteAt(i) << 16;
        if (have > 1) group |= byteAt(i + 1) << 8;
        if (have > 2) group |= byteAt(i + 2);
        put(kBase64[(group >> 18) & 0x3f]);
        put(kBase64[(group >> 12) & 0x3f]);
        put(have > 1 ? kBase64[(group >> 6) & 0x3f] : '=');
        put(have > 2 ? kBase64[group & 0x3f] : '=');
        length += 4;
    }
    if (out != nullptr && room > 0) {
        out[written] = '\0';
    }
    return length;
}

bool IsHostName(std::string_view text) {
    for (const char c : text) {
        if (c != '.' && (c < '0' || c > '9')) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ComposeNtripRequest(std::string_view mountPoint, std::string_view caster,
                                               std::string_view user, std::string_view password) {
    const std::string mount(mountPoint);
    const std::string host(caster);
    char header[kRequestHeaderRoom];
    const int headerLength = std::snprintf(
        header, sizeof header,
        "GET %s%s%s%s/%s HTTP/1.1\r\nHost: %s\r\n%sUser-Agent: %s/%s\r\n%s%s%sConnection: close%s", "", "",
        "", "", mount.c_str(), host.c_str(), kNtripVersionLine, kAgentName, kAgentRevision, "", "", "",
        "\r\nAuthorization: Basic ");
    if (headerLength < 0 || static_cast<std::size_t>(headerLength) >= sizeof header) {
        return std::nullopt;
    }
    // Behind the header: the credentials, then "\r\n\r\n" and the NUL.
    const std::size_t credentialRoom = kRequestBufferBytes - 4 - static_cast<std::size_t>(headerLength);
    char credentials[kRequestBufferBytes];
    const std::size_t encoded = EncodeBasicCredentials(credentials, credentialRoom, user, password);
    if (encoded > credentialRoom - 1) {
        return std::nullopt;
    }
    std::string request(header, static_cast<std::size_t>(headerLength));
    request.append(credentials, encoded);
    request += "\r\n\r\n";
    return request;
}

std::string ComposeSourceTableRequest(std::string_view caster) {
    std::string request = "GET / HTTP/1.1\r\nHost: ";
    request += caster;
    request += "\r\n";
    request += kNtripVersionLine;
    request += "User-Agent: ";
    request += kAgentName;
    request += "/";
    request += kAgentRevision;
    request += "\r\nConnection: close\r\n\r\n";
    return request;
}

ConnectResult ClassifyRejection(std::string_view reply) {
    if (reply.find("ERROR - Bad Password") != std::string_view::npos) return ConnectResult::BadPassword;
    if (reply.find("ERROR") != std::string_view::npos) return ConnectResult::None;
    if (reply.find("Unauthorized") != std::string_view::npos) return ConnectResult::Unauthorized;
    return ConnectResult::UnexpectedReply;
}

namespace reply {

std::size_t HeaderEnd(std::string_view received) {
    // Lines end in CR LF; a bare LF is taken too.
    std::size_t lineStart = 0;
    while (lineStart < received.size()) {
        const std::size_t lf = received.find('\n', lineStart);
        if (lf == std::string_view::npos) {
            return 0;
        }
        const std::string_view line = received.substr(lineStart, lf - lineStart);
        if (lineStart > 0 && (line.empty() || line == "\r")) {
            return lf + 1;
        }
        lineStart = lf + 1;
    }
    return 0;
}

std::string_view FirstLine(std::string_view received) {
    std::string_view line = received.substr(0, received.find('\n'));
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool ContainsNoCase(std::string_view text, std::string_view word) {
    if (word.empty()) return true;
    for (std::size_t i = 0; i + word.size() <= text.size(); ++i) {
        std::size_t j = 0;
        while (j < word.size() && LowerAscii(text[i + j]) == LowerAscii(word[j])) ++j;
        if (j == word.size()) return true;
    }
    return false;
}

std::string_view FieldValue(std::string_view header, std::string_view name) {
    std::size_t lineStart = header.find('\n');
    while (lineStart != std::string_view::npos && lineStart + 1 < header.size()) {
        ++lineStart;
        const std::size_t lf = header.find('\n', lineStart);
        std::string_view line = header.substr(lineStart, lf == std::string_view::npos ? std::string_view::npos
                                                                                     : lf - lineStart);
        const std::size_t colon = line.find(':');
        if (colon == name.size()) {
            bool same = true;
            for (std::size_t i = 0; i < name.size() && same; ++i) {
                same = LowerAscii(line[i]) == LowerAscii(name[i]);
            }
            if (same) {
                std::string_view value = line.substr(colon + 1);
                while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
                while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.remove_suffix(1);
                return value;
            }
        }
        lineStart = lf;
    }
    return {};
}

int HttpStatus(std::string_view firstLine) {
    if (!StartsWith(firstLine, "HTTP/")) return 0;
    const std::size_t space = firstLine.find(' ');
    if (space == std::string_view::npos || space + 4 > firstLine.size()) return 0;
    int code = 0;
    for (std::size_t i = space + 1; i < space + 4; ++i) {
        const char c = firstLine[i];
        if (c < '0' || c > '9') return 0;
        code = code * 10 + (c - '0');
    }
    return code;
}

}  // namespace reply

bool ChunkedDecoder::EndSizeLine() {
    std::string_view line = line_;
    line = line.substr(0, line.find(';'));  // chunk extensions are ignored
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) {
        line.remove_suffix(1);
    }
    if (line.empty()) return false;
    std::uint64_t size = 0;
    for (const char c : line) {
        int digit = -1;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        if (digit < 0) return false;
        size = size * 16 + static_cast<std::uint64_t>(digit);
        if (size > kMaxChunkBytes) return false;
    }
    line_.clear();
    remaining_ = size;
    state_ = size == 0 ? State::Trailer : State::Data;
    return true;
}

ChunkedDecoder::Status ChunkedDecoder::Feed(const std::uint8_t* bytes, std::size_t count, std::string& out) {
    std::size_t i = 0;
    while (i < count && status_ == Status::Ok) {
        switch (state_) {
            case State::SizeLine: {
                const char c = static_cast<char>(bytes[i++]);
                if (c == '\n') {
                    if (!EndSizeLine()) status_ = Status::Error;
                } else if (line_.size() >= kMaxSizeLine) {
                    status_ = Status::Error;
                } else {
                    line_ += c;
                }
                break;
            }
            case State::Data: {
                const std::size_t take =
                    static_cast<std::size_t>(remaining_ < count - i ? remaining_ : count - i);
                out.append(reinterpret_cast<const char*>(bytes + i), take);
                i += take;
                remaining_ -= take;
                if (remaining_ == 0) state_ = State::DataEnd;
                break;
            }
            case State::DataEnd: {
                const char c = static_cast<char>(bytes[i++]);
                if (c == '\n') {
                    state_ = State::SizeLine;
                } else if (c != '\r') {
                    status_ = Status::Error;
                }
                break;
            }
            case State::Trailer: {
                // Trailer fields until an empty line; nothing of them is used.
                const char c = static_cast<char>(bytes[i++]);
                if (c == '\n') {
                    if (line_.empty() || line_ == "\r") {
                        status_ = Status::Done;
                    }
                    line_.clear();
                } else if (line_.size() >= kMaxSizeLine) {
                    status_ = Status::Error;
                } else {
                    line_ += c;
                }
                break;
            }
        }
    }
    return status_;
}

std::string_view NtripReplyReader::HeaderText() const {
    std::string_view text = received_;
    if (headerLength_ > 0) text = text.substr(0, headerLength_);
    return text.substr(0, kMaxReplyHeader);
}

NtripReplyReader::Outcome NtripReplyReader::Feed(const std::uint8_t* bytes, std::size_t count) {
    if (outcome_ != Outcome::NeedMore) {
        return outcome_;
    }
    // Never more than one header's worth is held; the cap decides below.
    const std::size_t room = kMaxReplyHeader + 1 - received_.size();
    received_.append(reinterpret_cast<const char*>(bytes), count < room ? count : room);
    const std::size_t kept = count < room ? count : room;
    const Outcome outcome = Decide();
    if (outcome == Outcome::Accepted && kept < count) {
        stream_.append(reinterpret_cast<const char*>(bytes + kept), count - kept);
    }
    return outcome;
}

NtripReplyReader::Outcome NtripReplyReader::Closed() {
    if (outcome_ == Outcome::NeedMore) {
        return Reject(ConnectResult::None);
    }
    return outcome_;
}

NtripReplyReader::Outcome NtripReplyReader::Accept(std::size_t headerEnd) {
    headerLength_ = headerEnd;
    stream_.assign(received_, headerEnd, std::string::npos);
    outcome_ = Outcome::Accepted;
    return outcome_;
}

NtripReplyReader::Outcome NtripReplyReader::Reject(ConnectResult result) {
    result_ = result;
    outcome_ = Outcome::Rejected;
    return outcome_;
}

NtripReplyReader::Outcome NtripReplyReader::Decide() {
    const std::string_view text = received_;
    const bool overLong = text.size() > kMaxReplyHeader;
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos) {
        if (!overLong) return Outcome::NeedMore;
        const ConnectResult result = ClassifyRejection(text);
        return Reject(result == ConnectResult::None || result == ConnectResult::BadPassword ||
                              result == ConnectResult::Unauthorized
                          ? result
                          : ConnectResult::UnexpectedReply);
    }
    const std::string_view first = reply::FirstLine(text);
    if (StartsWith(first, "SOURCETABLE")) {
        return Reject(ConnectResult::MountNotFound);
    }
    const int status = reply::HttpStatus(first);
    if (status == 200) {
        const std::size_t end = reply::HeaderEnd(text);
        if (end == 0) {
            return overLong ? Reject(ConnectResult::UnexpectedReply) : Outcome::NeedMore;
        }
        const std::string_view header = text.substr(0, end);
        if (reply::ContainsNoCase(reply::FieldValue(header, "Content-Type"), "gnss/sourcetable")) {
            headerLength_ = end;
            return Reject(ConnectResult::MountNotFound);
        }
        chunked_ = reply::ContainsNoCase(reply::FieldValue(header, "Transfer-Encoding"), "chunked");
        return Accept(end);
    }
    if (status == 404) return Reject(ConnectResult::MountNotFound);
    if (status == 401) {
        const ConnectResult result = ClassifyRejection(text);
        return Reject(result == ConnectResult::BadPassword ? result : ConnectResult::Unauthorized);
    }
    if (status == 0 && first.find("200 OK") != std::string_view::npos) {
        // "ICY 200 OK": the stream follows the status line directly.
        return Accept(lf + 1);
    }
    return Reject(ClassifyRejection(text));
}

}  // namespace sextara::corrections
