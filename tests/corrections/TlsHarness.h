#pragma once

// TLS for the correction link tests: a test CA and caster certificates made
// by the openssl command at test time, and a TLS front that terminates TLS
// on loopback and relays the plain bytes to a scripted LoopbackCaster.

#include <openssl/err.h>
#include <openssl/ssl.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include "corrections/LinkHarness.h"

namespace sextara::test {

// A CA, a caster certificate it signed for localhost, 127.0.0.1 and ::1, one
// it signed for another host name, and a second CA that signed nothing of
// these. All in a temporary folder; Ok() false when openssl failed.
class TestCa {
public:
    TestCa() {
        const std::string d = dir_.Path();
        const std::string key = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes";
        WriteBytes(d + "/right.ext", "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:::1\n");
        WriteBytes(d + "/wrong.ext", "subjectAltName=DNS:caster.invalid\n");
        ok_ = Run("openssl req -x509 " + key + " -keyout " + d + "/ca.key -out " + d +
                  "/ca.pem -days 2 -subj /CN=Sextara-Test-CA") &&
              Run("openssl req -x509 " + key + " -keyout " + d + "/other.key -out " + d +
                  "/other-ca.pem -days 2 -subj /CN=Other-CA") &&
              Sign("right") && Sign("wrong");
    }
    bool Ok() const { return ok_; }
    std::string CaFile() const { return dir_.Path() + "/ca.pem"; }
    std::string OtherCaFile() const { return dir_.Path() + "/other-ca.pem"; }
    // "right" or "wrong": the certificate and its key.
    std::string Cert(const std::string& name) const { return dir_.Path() + "/" + name + ".pem"; }
    std::string Key(const std::string& name) const { return dir_.Path() + "/" + name + ".key"; }

private:
    static bool Run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }
    bool Sign(const std::string& name) const {
        const std::string d = dir_.Path();
        return Run("openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout " + d + "/" + name +
                   ".key -out " + d + "/" + name + ".csr -subj /CN=caster") &&
               Run("openssl x509 -req -in " + d + "/" + name + ".csr -CA " + d + "/ca.pem -CAkey " + d +
                   "/ca.key -set_serial 7 -days 2 -extfile " + d + "/" + name + ".ext -out " + d + "/" + name +
                   ".pem");
    }

    TempDir dir_;
    bool ok_ = false;
};

// Listens on loopback (AF_INET or AF_INET6), completes a TLS handshake with
// the certificate given, then relays both ways to 127.0.0.1:backendPort until
// either side closes. One connection at a time.
class TlsFront {
public:
    TlsFront(std::uint16_t backendPort, const std::string& cert, const std::string& key, int family = AF_INET)
        : listener_(nullptr, 8, family), backendPort_(backendPort) {
        context_ = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate_chain_file(context_, cert.c_str());
        SSL_CTX_use_PrivateKey_file(context_, key.c_str(), SSL_FILETYPE_PEM);
        thread_ = std::thread([this] { Run(); });
    }
    ~TlsFront() {
        stopping_ = true;
        thread_.join();
        SSL_CTX_free(context_);
    }
    std::uint16_t Port() const { return listener_.Port(); }
    int Connections() const { return connections_.load(); }
    int Handshakes() const { return handshakes_.load(); }

private:
    void Run() {
        while (!stopping_) {
            const int fd = listener_.AcceptWithin(std::chrono::milliseconds(10));
            if (fd < 0) continue;
            ++connections_;
            Serve(fd);
            ::close(fd);
        }
    }
    void Serve(int fd) {
        SSL* ssl = SSL_new(context_);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            ++handshakes_;
            Relay(ssl, fd);
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        ERR_clear_error();
    }
    void Relay(SSL* ssl, int fd) {
        const int backend = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(backendPort_);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (::connect(backend, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            char buffer[16384];
            while (!stopping_) {
                if (SSL_pending(ssl) == 0) {
                    pollfd fds[2] = {{fd, POLLIN, 0}, {backend, POLLIN, 0}};
                    if (::poll(fds, 2, 10) <= 0) continue;
                    if (fds[1].revents != 0) {
                        const ssize_t n = ::recv(backend, buffer, sizeof buffer, 0);
                        if (n <= 0 || SSL_write(ssl, buffer, static_cast<int>(n)) <= 0) break;
                    }
                    if (fds[0].revents == 0) continue;
                }
                const int n = SSL_read(ssl, buffer, sizeof buffer);
                if (n <= 0 || ::send(backend, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) <= 0) break;
            }
        }
        ::close(backend);
    }

    LoopbackCaster listener_;
    const std::uint16_t backendPort_;
    SSL_CTX* context_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> handshakes_{0};
};

}  // namespace sextara::test
