#include "receiver/ReceiverCommands.h"

namespace sextara {

std::span<const ReceiverCommand> StartupCommandSet(int receiverType) {
    return ReceiverMakeOf(receiverType).startup;
}

int SendStartupCommands(int receiverType, ByteSink& gpsPort, platform::Clock& clock) {
    SendCommands(StartupCommandSet(receiverType), gpsPort, clock);
    return 1;
}

void SendRawLogCommands(int receiverType, ByteSink& rawPort, int recordInterval, int cutoffAngleDeg,
                        platform::Clock& clock) {
    const ReceiverMake& make = ReceiverMakeOf(receiverType);
    SendCommands(make.rawLog, rawPort, clock);
    if (make.rawLogBuilt == nullptr) return;
    for (const BuiltCommand& command : make.rawLogBuilt(recordInterval, cutoffAngleDeg)) {
        const ReceiverCommand row{command.bytes, command.pauseAfter};
        SendCommands({&row, 1}, rawPort, clock);
    }
}

void SendRawPortBaudCommand(int receiverType, ByteSink& gpsPort, platform::Clock& clock) {
    SendCommands(ReceiverMakeOf(receiverType).rawPortBaud, gpsPort, clock);
}

void SendDiffInputCommands(int receiverType, ByteSink& gpsPort, platform::Clock& clock) {
    SendCommands(ReceiverMakeOf(receiverType).diffInput, gpsPort, clock);
}

void SetReceiverDiffMode(DecoderHost& decoders, ByteSink& gpsPort, int mode) {
    decoders.SetDiffMode(gpsPort, mode);
}

void WriteToReceiver(ByteSink& gpsPort, const std::uint8_t* bytes, std::uint32_t length) {
    if (bytes != nullptr && length != 0) gpsPort.Write(bytes, length);
}

bool StartupResendRule::OnTick(int fixQuality) {
    if (ticks_ > kLastTick) return false;
    bool send = false;
    if (fixQuality == 0) {
        send = ticks_ % 15 == 0;
    } else if (fixQuality >= 1 && fixQuality <= 4) {
        ticks_ = kStopped;
    } else {
        send = ticks_ % 10 == 0;
    }
    ++ticks_;
    return send;
}

}  // namespace sextara
