#include "app/PortClient.h"

#include "platform/ThreadName.h"
#include "receiver/ReceiverCommands.h"

namespace sextara {

PortClient::PortClient(SerialPort& clientPort, ByteSink& receiver) : port_(clientPort), receiver_(receiver) {}

PortClient::~PortClient() { Close(); }

bool PortClient::Open(int portNumber, int baudRate) {
    std::lock_guard<std::mutex> hold(control_);
    StopMover();
    received_.Reset();
    port_.SetReceivedEvent(&received_);
    if (!port_.Open(portNumber, baudRate) || !port_.StartThreads()) {
        port_.Stop();
        port_.SetReceivedEvent(nullptr);
        return false;
    }
    moving_ = true;
    wake_.Reset();
    mover_ = std::thread([this] {
        platform::NameThisThread("port client");
        while (moving_.load()) {
            MoveQueued();
            platform::WaitAny(wake_, received_);
        }
        MoveQueued();
    });
    return true;
}

void PortClient::Close() {
    std::lock_guard<std::mutex> hold(control_);
    StopMover();
    port_.Stop();
    port_.SetReceivedEvent(nullptr);
}

void PortClient::StopMover() {
    moving_ = false;
    wake_.Set();
    if (mover_.joinable()) mover_.join();
}

void PortClient::MoveQueued() {
    std::uint8_t buffer[kTransferBytes];
    // The port's receive queue holds at most kRxQueueLimit: a few reads take
    // all of it, and a pass stays bounded however fast bytes arrive.
    for (std::size_t read = 0; read <= SerialPort::kRxQueueLimit / kTransferBytes; ++read) {
        const std::uint16_t count = port_.Read(buffer, sizeof buffer);
        if (count == 0) return;
        WriteToReceiver(receiver_, buffer, count);
        moved_ += count;
    }
}

std::uint32_t OpenPortGate::Write(const std::uint8_t* bytes, std::uint32_t length) {
    if (!port_.IsOpen()) {
        dropped_ += length;
        return length;
    }
    return port_.Write(bytes, length);
}

}  // namespace sextara
