#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "gpsd/ClientSession.h"
#include "gpsd/SentenceCutter.h"

namespace sextara::gpsd {
namespace {

using nlohmann::json;

struct CutOutcome {
    std::vector<std::string> sentences;
    DecoderCounters counters;
    bool operator==(const CutOutcome& o) const {
        return sentences == o.sentences && counters.frames == o.counters.frames &&
               counters.checksumErrors == o.counters.checksumErrors && counters.oversize == o.counters.oversize &&
               counters.droppedBytes == o.counters.droppedBytes;
    }
};

CutOutcome Cut(const std::string& bytes, const std::vector<std::size_t>& cuts) {
    SentenceCutter cutter;
    CutOutcome out;
    std::size_t from = 0;
    auto put = [&](std::size_t to) {
        cutter.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()) + from, to - from, out.sentences);
        from = to;
    };
    for (std::size_t cut : cuts) put(cut);
    put(bytes.size());
    out.counters = cutter.Counters();
    return out;
}

const std::string kGga = "$GPGGA,002153.000,3342.6618,N,11751.3858,W,1,10,1.2,27.0,M,-34.2,M,,0000*5E";

struct CutCase {
    const char* name;
    std::string bytes;
    std::vector<std::string> sentences;
    std::uint64_t checksumErrors, oversize, droppedBytes;
};

// The sentence cutter's fault matrix: each case fed whole, byte by byte and
// split at every offset must end alike.
TEST(GpsdSentenceCutter, FaultMatrixEndsAlikeHoweverTheBytesArrive) {
    const std::string binary = std::string("\xAA\x44\x12\x1C$\x01\x02", 7);
    const CutCase cases[] = {
        {"complete", kGga + "\r\n", {kGga + "\r\n"}, 0, 0, 0},
        {"LF alone", kGga + "\n", {kGga + "\r\n"}, 0, 0, 0},
        {"no checksum", "$GPTXT,hello\r\n", {"$GPTXT,hello\r\n"}, 0, 0, 0},
        {"doubled $", "$" + kGga + "\r\n", {kGga + "\r\n"}, 0, 0, 1},
        {"incomplete", kGga, {}, 0, 0, 0},
        {"bad checksum", kGga.substr(0, kGga.size() - 1) + "F\r\n", {}, 1, 0, kGga.size() + 2},
        {"binary before", binary + kGga + "\r\n", {kGga + "\r\n"}, 0, 0, 7},
        {"cut by a new sentence", "$GPGSV,3,1\r$GPGGA" + kGga.substr(6) + "\r\n", {kGga + "\r\n"}, 0, 0, 11},
        {"not an address", "$gpgga,1*00\r\n", {}, 0, 0, 13},
        {"over the cap", "$GPTXT," + std::string(SentenceCutter::kMaxSentence, 'x') + "\r\n" + kGga + "\r\n",
         {kGga + "\r\n"}, 0, 1, SentenceCutter::kMaxSentence + 9},
    };
    for (const CutCase& c : cases) {
        SCOPED_TRACE(c.name);
        const CutOutcome whole = Cut(c.bytes, {});
        EXPECT_EQ(whole.sentences, c.sentences);
        EXPECT_EQ(whole.counters.frames, c.sentences.size());
        EXPECT_EQ(whole.counters.checksumErrors, c.checksumErrors);
        EXPECT_EQ(whole.counters.oversize, c.oversize);
        EXPECT_EQ(whole.counters.droppedBytes, c.droppedBytes);
        std::vector<std::size_t> everyByte;
        for (std::size_t i = 1; i < c.bytes.size(); ++i) everyByte.push_back(i);
        EXPECT_TRUE(Cut(c.bytes, everyByte) == whole) << "byte by byte";
        for (std::size_t i = 1; i < c.bytes.size(); ++i) ASSERT_TRUE(Cut(c.bytes, {i}) == whole) << "split at " << i;
    }
}

// What a session answers, as the classes of the objects, or "drop".
std::vector<std::string> Answer(ClientSession& session, const std::string& input) {
    const DeviceInfo device{"/dev/ttyUSB0", "enNovtel", "2024-01-02T03:04:05.000Z", 115200, true};
    const std::string tpv = R"({"class":"TPV","mode":3,"lat":1.5})";
    const std::string sky = R"({"class":"SKY","satellites":[]})";
    const std::string time = "2024-01-02T03:04:06.000Z";
    const ClientSession::Answer answer =
        session.OnInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), {device, tpv, sky, time});
    std::vector<std::string> classes;
    std::size_t from = 0;
    for (std::size_t end; (end = answer.lines.find("\r\n", from)) != std::string::npos; from = end + 2) {
        const json object = json::parse(answer.lines.substr(from, end - from));
        std::string name = object["class"];
        if (name == "WATCH") name += object["json"] ? "+json" : "";
        if (name == "POLL") name += object["tpv"][0]["lat"] == 1.5 && object["sky"].size() == 1 ? "+latest" : "";
        if (name == "DEVICES") name += object["devices"][0]["path"] == "/dev/ttyUSB0" ? "+receiver" : "";
        classes.push_back(name);
    }
    EXPECT_EQ(from, answer.lines.size()) << "every object ends in CR LF";
    if (answer.drop) classes.push_back("drop");
    return classes;
}

struct SessionCase {
    const char* name;
    std::vector<std::string> inputs;  // sent one after the other
    std::vector<std::string> classes;  // of everything answered
    struct {
        bool enable = false, json = false, nmea = false;
        int raw = 0;
    } policy;  // in force at the end
};

TEST(GpsdClientSession, AnswersRequestsAndDropsJunk) {
    const SessionCase cases[] = {
        {"gpspipe -w", {"?WATCH={\"enable\":true,\"json\":true};"}, {"DEVICES+receiver", "WATCH+json"}, {true, true}},
        {"python3-gps, split", {"?WATCH={\"enable\":tr", "ue,\"json\":true}\n"}, {"DEVICES+receiver", "WATCH+json"},
         {true, true}},
        {"enable alone means reports", {"?WATCH={\"enable\":true}\r\n"}, {"DEVICES+receiver", "WATCH+json"},
         {true, true}},
        {"gpspipe -r", {"?WATCH={\"enable\":true,\"nmea\":true};"}, {"DEVICES+receiver", "WATCH"},
         {true, false, true}},
        {"raw bytes, then off", {"?WATCH={\"enable\":true,\"raw\":2};?WATCH={\"enable\":false};"},
         {"DEVICES+receiver", "WATCH", "WATCH"}, {false, false, false, 2}},
        {"several in a line", {"?VERSION;?DEVICES;?POLL;?WATCH;\n"}, {"VERSION", "DEVICES+receiver", "POLL+latest", "WATCH"},
         {}},
        {"unknown request", {"?FLY;"}, {"ERROR"}, {}},
        {"bad arguments", {"?WATCH={\"raw\":3};?WATCH={\"enable\":1};?WATCH=[1];?WATCH={;"},
         {"ERROR", "ERROR", "ERROR", "ERROR"}, {}},
        {"not a request", {"hello\n"}, {"drop"}, {}},
        {"binary junk", {"?VERSION;", std::string("\x01\xFF", 2)}, {"VERSION", "drop"}, {}},
        {"endless line", {std::string(ClientSession::kMaxRequest, '?'), "x"}, {"drop"}, {}},
    };
    for (const SessionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ClientSession session;
        std::vector<std::string> classes;
        for (const std::string& input : c.inputs) {
            for (std::string& name : Answer(session, input)) classes.push_back(std::move(name));
        }
        EXPECT_EQ(classes, c.classes);
        EXPECT_EQ(session.Policy().enable, c.policy.enable);
        EXPECT_EQ(session.Policy().json, c.policy.json);
        EXPECT_EQ(session.Policy().nmea, c.policy.nmea);
        EXPECT_EQ(session.Policy().raw, c.policy.raw);
    }
}

}  // namespace
}  // namespace sextara::gpsd
