#include "gui/SingleInstance.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

#include <QLocalSocket>
#include <QSocketNotifier>

namespace sextara::gui {
namespace {

constexpr char kRaiseRequest[] = "raise\n";

int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
    const int saved = errno;
    const char byte = 't';
    [[maybe_unused]] const ssize_t n = ::write(gSignalPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent), name_(std::move(name)) {
    connect(&server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = server_.nextPendingConnection()) {
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (socket->readAll().contains("raise")) emit raiseRequested();
                socket->disconnectFromServer();
            });
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

QString SingleInstance::DefaultName() { return QStringLiteral("sextara-%1").arg(::getuid()); }

bool SingleInstance::AskRunningInstanceToRaise(int timeoutMs) {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (!socket.waitForConnected(timeoutMs)) return false;
    socket.write(kRaiseRequest);
    socket.waitForBytesWritten(timeoutMs);
    // Wait for the other side to hang up, so that it has read the request.
    socket.waitForDisconnected(timeoutMs);
    return true;
}

bool SingleInstance::Listen() {
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    if (server_.listen(name_)) return true;
    // Nobody answered (AskRunningInstanceToRaise came first): a stale socket.
    QLocalServer::removeServer(name_);
    return server_.listen(name_);
}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {
    if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &TerminationSignals::Drain);
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    for (const int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
}

void TerminationSignals::Drain() {
    char buffer[64];
    while (::read(gSignalPipe[0], buffer, sizeof buffer) > 0) {
    }
    emit terminationRequested();
}

}  // namespace sextara::gui
