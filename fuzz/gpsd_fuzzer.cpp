// libFuzzer entry point for what the gpsd server takes from outside: the
// receiver's stream through the sentence cutter, and a client's bytes
// through a client session. Every sentence handed on must be one the
// protocol can carry, every answer whole JSON lines; a violation traps so
// that libFuzzer keeps the input.

#include <nlohmann/json.hpp>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "gpsd/ClientSession.h"
#include "gpsd/SentenceCutter.h"

namespace {

using namespace sextara::gpsd;

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CutSentences(const std::uint8_t* data, std::size_t size) {
    SentenceCutter cutter;
    std::vector<std::string> sentences;
    // Two pieces, split where the first byte says, so state across calls is fuzzed too.
    const std::size_t split = size > 0 ? data[0] % (size + 1) : 0;
    cutter.Feed(data, split, sentences);
    cutter.Feed(data + split, size - split, sentences);
    Check(cutter.Counters().frames == sentences.size());
    for (const std::string& s : sentences) {
        Check(s.size() >= 5 && s.size() <= SentenceCutter::kMaxSentence + 2 && s.front() == '$');
        Check(s.compare(s.size() - 2, 2, "\r\n") == 0);
        for (std::size_t i = 0; i + 2 < s.size(); ++i) Check(s[i] >= 0x20 && s[i] <= 0x7E);
    }
}

void AnswerRequests(const std::uint8_t* data, std::size_t size) {
    const DeviceInfo device{"/dev/ttyUSB0", "enNovtel", "", 115200, true};
    const std::string tpv = R"({"class":"TPV","mode":1})";
    const std::string sky;
    const std::string time;
    ClientSession session;
    const ClientSession::Answer answer = session.OnInput(data, size, {device, tpv, sky, time});
    std::size_t from = 0;
    for (std::size_t end; (end = answer.lines.find("\r\n", from)) != std::string::npos; from = end + 2) {
        const nlohmann::json object = nlohmann::json::parse(answer.lines.substr(from, end - from), nullptr, false);
        Check(object.is_object() && object.contains("class"));
    }
    Check(from == answer.lines.size());
    Check(session.Policy().raw >= 0 && session.Policy().raw <= 2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CutSentences(data, size);
    AnswerRequests(data, size);
    return 0;
}
