#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sextara::corrections {

// Outcome of the last connect attempt; the value 1 is not used.
enum class ConnectResult : int {
    None = 0,             // start of an attempt; socket or receive errors; an "ERROR" reply;
                          // a caster that closed before its reply was complete
    ConnectFailed = 2,    // no TCP connection: refused, unreachable, host name not resolved
    BadPassword = 3,      // the reply holds "ERROR - Bad Password"
    Unauthorized = 4,     // the reply holds "Unauthorized" (or is an HTTP 401)
    UnexpectedReply = 5,  // any other reply that is not a stream
    MountNotFound = 6,    // the caster answered with its source table or 404: no such mount point
    CertificateRefused = 7,  // TLS: the caster's certificate is not trusted or not for this host
};

// The request buffer the wire format was made for: 256 bytes, the header
// part formatted into at most 216 of them, the credentials into the rest.
inline constexpr std::size_t kRequestBufferBytes = 256;
inline constexpr std::size_t kRequestHeaderRoom = 216;

// Base64 (standard alphabet, '=' fill) of user ":" password, three bytes at a
// time without building the joined text. Writes at most room - 1 characters
// and a NUL when room allows; returns the length of the whole encoding.
std::size_t EncodeBasicCredentials(char* out, std::size_t room, std::string_view user,
                                   std::string_view password);

// False for an empty text and for one made only of digits and dots.
bool IsHostName(std::string_view text);

// The one request for a mount point, NTRIP 1 and 2 casters alike. None when
// the settings would not fit the 256-byte request: they are never cut.
std::optional<std::string> ComposeNtripRequest(std::string_view mountPoint, std::string_view caster,
                                               std::string_view user, std::string_view password);

// The source table request: the root path, no credentials.
std::string ComposeSourceTableRequest(std::string_view caster);

// Sorts a failed reply the way the caster's wording asks for.
ConnectResult ClassifyRejection(std::string_view reply);

// HTTP/1.1 chunked transfer coding, undone incrementally: feed the body in
// pieces of any size (a chunk-size line may be split anywhere) and only the
// chunk data comes out.
//
//   40\r\n<64 data bytes>\r\n ... 0\r\n\r\n
class ChunkedDecoder {
public:
    enum class Status { Ok, Done, Error };
    // Appends the data bytes found in the piece to out.
    Status Feed(const std::uint8_t* bytes, std::size_t count, std::string& out);
    Status CurrentStatus() const { return status_; }

    // A size line longer than this is not a size line; a chunk larger than
    // kMaxChunkBytes is not sent by any caster.
    static constexpr std::size_t kMaxSizeLine = 80;
    static constexpr std::uint64_t kMaxChunkBytes = 16u << 20;

private:
    enum class State { SizeLine, Data, DataEnd, Trailer };
    bool EndSizeLine();
    State state_ = State::SizeLine;
    Status status_ = Status::Ok;
    std::string line_;
    std::uint64_t remaining_ = 0;
};

// Reads a caster's reply to a mount point request until it can tell a stream
// from a refusal. Replies seen from casters:
//   "ICY 200 OK\r\n" then the stream at once (NTRIP 1, and some NTRIP 2 casters)
//   "HTTP/1.1 200 OK\r\n" headers "\r\n" then the stream, maybe chunked (NTRIP 2)
//   "SOURCETABLE 200 OK\r\n" headers, the table: the mount point does not exist
//   "HTTP/1.0 401 Unauthorized\r\n", "ERROR - Bad Password\r\n"
// Bytes that arrive behind the header belong to the stream and are kept.
class NtripReplyReader {
public:
    enum class Outcome { NeedMore, Accepted, Rejected };

    // A header that has not ended after this many bytes is not a reply.
    static constexpr std::size_t kMaxReplyHeader = 4096;

    Outcome Feed(const std::uint8_t* bytes, std::size_t count);
    // The caster closed before the reply could be told.
    Outcome Closed();

    Outcome CurrentOutcome() const { return outcome_; }
    ConnectResult Result() const { return result_; }
    // The reply header (or what came of it), for the event log.
    std::string_view HeaderText() const;
    bool Chunked() const { return chunked_; }
    // Stream bytes that came in behind the header, still chunk-coded when Chunked().
    const std::string& StreamBytes() const { return stream_; }

private:
    Outcome Decide();
    Outcome Accept(std::size_t headerEnd);
    Outcome Reject(ConnectResult result);

    std::string received_;
    std::string stream_;
    std::size_t headerLength_ = 0;
    bool chunked_ = false;
    Outcome outcome_ = Outcome::NeedMore;
    ConnectResult result_ = ConnectResult::None;
};

// Helpers for HTTP-like replies, shared with the source table fetch.
namespace reply {
// Length of the header including its empty line, or 0 while it has not ended.
std::size_t HeaderEnd(std::string_view received);
std::string_view FirstLine(std::string_view received);
// The value of a header field, matched without regard to case; empty when missing.
std::string_view FieldValue(std::string_view header, std::string_view name);
bool ContainsNoCase(std::string_view text, std::string_view word);
// The status code of an "HTTP/x.y NNN" line, 0 for any other line.
int HttpStatus(std::string_view firstLine);
}  // namespace reply

}  // namespace sextara::corrections
