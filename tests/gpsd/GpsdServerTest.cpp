#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "gpsd/ClientSession.h"
#include "gpsd/GpsdServer.h"
#include "gpsd/GpsdTestSupport.h"
#include "support/WaitUntil.h"

namespace sextara::gpsd {
namespace {

using nlohmann::json;
using test::WaitUntil;

// A client on a real loopback socket, reading with a deadline.
class TestClient {
public:
    TestClient(const std::string& address, int port, int receiveBuffer = 0) {
        const bool v6 = address.find(':') != std::string::npos;
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (receiveBuffer > 0) ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        sockaddr_storage to{};
        socklen_t length = 0;
        if (v6) {
            auto& a = reinterpret_cast<sockaddr_in6&>(to);
            a.sin6_family = AF_INET6;
            a.sin6_port = htons(static_cast<std::uint16_t>(port));
            ::inet_pton(AF_INET6, address.c_str(), &a.sin6_addr);
            length = sizeof a;
        } else {
            auto& a = reinterpret_cast<sockaddr_in&>(to);
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            ::inet_pton(AF_INET, address.c_str(), &a.sin_addr);
            length = sizeof a;
        }
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&to), length) == 0;
    }
    ~TestClient() { ::close(fd_); }

    bool Connected() const { return connected_; }
    void Send(const std::string& text) { ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), ssize_t(text.size())); }

    // The next line (without CR LF); empty when the server closed or the
    // deadline passed.
    std::string Line() {
        std::string line;
        WaitUntil([&] {
            if (const std::size_t end = buffer_.find("\r\n"); end != std::string::npos) {
                line = buffer_.substr(0, end);
                buffer_.erase(0, end + 2);
                return true;
            }
            return !Read();
        });
        return line;
    }
    // The next object of the class, skipping others.
    json Next(const std::string& cls) {
        for (std::string line = Line(); !line.empty(); line = Line()) {
            const json object = json::parse(line);
            if (object["class"] == cls) return object;
        }
        return {};
    }
    // True once the server has closed this connection.
    bool Closed() {
        return WaitUntil([&] {
            buffer_.clear();
            return !Read();
        });
    }
    std::size_t ReadSome() {
        Read();
        const std::size_t n = buffer_.size();
        buffer_.clear();
        return n;
    }

private:
    // False at end of stream or error; true after data or a quiet moment.
    bool Read() {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, 5) <= 0) return true;
        char chunk[65536];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) return false;
        buffer_.append(chunk, static_cast<std::size_t>(n));
        return true;
    }

    int fd_ = -1;
    bool connected_ = false;
    std::string buffer_;
};

class GpsdServerTest : public testing::Test {
protected:
    void StartServer(const std::string& address = "127.0.0.1", std::size_t queue = 256 * 1024) {
        ServerOptions options;
        options.listenAddress = address;
        options.port = 0;
        options.clientQueueBytes = queue;
        options.log = [this](const char* line) {
            std::lock_guard<std::mutex> hold(logMutex_);
            log_.push_back(line);
        };
        server_ = std::make_unique<Server>(options);
        ASSERT_EQ(server_->Start(), "");
        server_->SetDevice({"/dev/pts/9", "enNovtel", "", 115200, true});
    }
    void TearDown() override {
        if (server_) server_->Stop();
    }
    void PostEpoch() {
        GnssState state = test::DecodeCapture("novatel/gavlab/ParsingData2.GPS", enNovtel);
        server_->PostEpoch(state, {true, true});
    }
    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> hold(logMutex_);
        return log_;
    }

    std::unique_ptr<Server> server_;
    std::mutex logMutex_;
    std::vector<std::string> log_;
};

const std::string kWatchJson = "?WATCH={\"enable\":true,\"json\":true};\n";

TEST_F(GpsdServerTest, TwoClientsOverIpv4AndIpv6GetEveryEpochAndPoll) {
    for (const std::string address : {"127.0.0.1", "::1"}) {
        SCOPED_TRACE(address);
        StartServer(address);
        TestClient a(address, server_->Port());
        TestClient b(address, server_->Port());
        ASSERT_TRUE(a.Connected() && b.Connected());
        for (TestClient* c : {&a, &b}) {
            EXPECT_EQ(c->Next("VERSION")["proto_major"], 3);
            c->Send(kWatchJson);
            EXPECT_EQ(c->Next("DEVICES")["devices"][0]["path"], "/dev/pts/9");
            EXPECT_EQ(c->Next("WATCH")["json"], true);
        }
        ASSERT_TRUE(WaitUntil([&] { return server_->Status().clients == 2; }));
        PostEpoch();
        const GnssState record = test::DecodeCapture("novatel/gavlab/ParsingData2.GPS", enNovtel);
        for (TestClient* c : {&a, &b}) {
            const json tpv = c->Next("TPV");
            EXPECT_EQ(tpv["lat"].get<double>(), record.latitude);
            EXPECT_EQ(test::SkyRowsOf(c->Next("SKY")), test::SkyRowsOf(record));
        }
        a.Send("?POLL;\n");
        const json poll = a.Next("POLL");
        EXPECT_EQ(poll["tpv"][0]["lon"].get<double>(), record.longitude);
        EXPECT_EQ(poll["sky"][0]["satellites"].size(), 12u);
        EXPECT_EQ(server_->Status().drops, 0u);
        server_->Stop();
        EXPECT_TRUE(a.Closed());  // stopping closes every client
        EXPECT_TRUE(b.Closed());
    }
}

TEST_F(GpsdServerTest, ClientThatNeverReadsIsDroppedAndTheOtherKeepsUp) {
    StartServer("127.0.0.1", 64 * 1024);
    TestClient stuck("127.0.0.1", server_->Port(), 4096);
    TestClient reader("127.0.0.1", server_->Port());
    stuck.Send("?WATCH={\"enable\":true,\"raw\":2};");
    reader.Send("?WATCH={\"enable\":true,\"raw\":2};");
    ASSERT_TRUE(WaitUntil([&] { return server_->WantsBytes(); }));
    const std::string block(8192, 'x');
    std::size_t received = 0;
    // The stuck client fills its socket and then its queue; the reader keeps
    // pace all along.
    ASSERT_TRUE(WaitUntil([&] {
        server_->PostBytes(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
        received += reader.ReadSome();
        return server_->Status().drops == 1;
    }));
    EXPECT_TRUE(WaitUntil([&] { return server_->Status().clients == 1; }));
    EXPECT_TRUE(stuck.Closed());
    ASSERT_FALSE(Log().empty());
    EXPECT_NE(Log()[0].find("stopped reading"), std::string::npos) << Log()[0];
    EXPECT_GT(received, 0u);
    EXPECT_TRUE(WaitUntil([&] {
        server_->PostBytes(reinterpret_cast<const std::uint8_t*>(block.data()), block.size());
        return reader.ReadSome() > 0;
    }));
}

TEST_F(GpsdServerTest, JunkAndEndlessLinesAreDroppedOthersServed) {
    StartServer();
    TestClient junk("127.0.0.1", server_->Port());
    TestClient endless("127.0.0.1", server_->Port());
    TestClient good("127.0.0.1", server_->Port());
    junk.Send(std::string("\x16\x03\x01\x02\x00", 5));  // a TLS hello to the wrong port
    endless.Send(std::string(3 * ClientSession::kMaxRequest, 'A'));
    EXPECT_TRUE(junk.Closed());
    EXPECT_TRUE(endless.Closed());
    EXPECT_EQ(server_->Status().drops, 2u);
    good.Send("?VERSION;\n");
    EXPECT_EQ(good.Next("VERSION")["class"], "VERSION");
    const std::vector<std::string> log = Log();
    ASSERT_EQ(log.size(), 2u);
}

TEST_F(GpsdServerTest, SentenceWatchersGetWholeSentencesOfTheStream) {
    StartServer();
    TestClient nmea("127.0.0.1", server_->Port());
    nmea.Send("?WATCH={\"enable\":true,\"nmea\":true};");
    ASSERT_TRUE(WaitUntil([&] { return server_->WantsBytes(); }));
    const std::string gga = "$GPGGA,002153.000,3342.6618,N,11751.3858,W,1,10,1.2,27.0,M,-34.2,M,,0000*5E";
    const std::string stream = "\xAA\x44\x12" + gga.substr(0, 20);
    server_->PostBytes(reinterpret_cast<const std::uint8_t*>(stream.data()), stream.size());
    const std::string rest = gga.substr(20) + "\r\n";
    server_->PostBytes(reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size());
    std::string line = nmea.Line();
    while (!line.empty() && line[0] == '{') line = nmea.Line();  // VERSION, DEVICES, WATCH
    EXPECT_EQ(line, gga);
}

TEST(GpsdServer, AnAddressInUseIsReportedNotFatal) {
    ServerOptions options;
    options.port = 0;
    Server first(options);
    ASSERT_EQ(first.Start(), "");
    options.port = first.Port();
    Server second(options);
    const std::string why = second.Start();
    EXPECT_NE(why.find("cannot listen on 127.0.0.1:" + std::to_string(first.Port())), std::string::npos) << why;
    EXPECT_FALSE(second.Running());
}

}  // namespace
}  // namespace sextara::gpsd
