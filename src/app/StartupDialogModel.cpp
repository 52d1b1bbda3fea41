#include "app/StartupDialogModel.h"

#include "app/AppCore.h"
#include "platform/Messages.h"
#include "receiver/ReceiverType.h"

namespace sextara {

StartupDialogModel::StartupDialogModel(AppCore& core) : core_(core) {}

int StartupDialogModel::BaudRowOf(int baud) {
    for (std::size_t row = 0; row < kBaudRates.size(); ++row) {
        if (kBaudRates[row] == baud) return static_cast<int>(row);
    }
    return -1;
}

int StartupDialogModel::InitialMakeRow() const {
    const std::int32_t make = core_.Context().config.receiverType;
    return IsKnownReceiverType(make) ? make : 0;
}

int StartupDialogModel::InitialPortRow() const {
    const int row = core_.Context().config.GPSPort - 1;
    return row >= 0 && row < kPortCount ? row : -1;
}

int StartupDialogModel::InitialBaudRow() const { return BaudRowOf(core_.Context().config.GPSBaud); }

StartupDialogModel::OkOutcome StartupDialogModel::Ok(int makeRow, int portRow, int baudRow, bool detect,
                                                     platform::MessageSink& sink) {
    AppContext& app = core_.Context();
    if (baudRow >= 0 && baudRow < static_cast<int>(kBaudRates.size())) app.config.GPSBaud = kBaudRates[baudRow];
    if (portRow >= 0 && portRow < kPortCount) app.config.GPSPort = portRow + 1;
    const int make = makeRow >= 0 && makeRow < kReceiverTypeCount ? makeRow : 0;
    app.CreateDecoder(make);
    if (!detect || make == enOther) return OkOutcome::Close;
    busy_ = core_.StartDetection(sink, app.config.GPSPort, app.config.GPSBaud, make);
    if (!busy_) {
        // A worker of another job still runs: report it as a failed
        // detection so the user can try again.
        sink.Post({platform::kMsgWorkerProgress, platform::kWorkerDetectDone, 0, {}});
        busy_ = true;
    }
    return OkOutcome::Detecting;
}

StartupDialogModel::Effect StartupDialogModel::OnWorkerMessage(std::intptr_t code, std::intptr_t value,
                                                               std::string_view text) {
    Effect effect;
    switch (code) {
        case platform::kWorkerStatusText:
            effect.setStatus = true;
            effect.status = text;
            break;
        case platform::kWorkerDetectDone:
            // The worker posts this as its last word: joining it is quick.
            core_.StopWorker();
            busy_ = false;
            effect.enableControls = true;
            effect.close = value != 0;
            break;
        case platform::kWorkerBaudFound:
            core_.Context().config.GPSBaud = static_cast<std::int32_t>(value);
            effect.enableControls = true;
            effect.selectBaudRow = BaudRowOf(static_cast<int>(value));
            break;
        default:
            break;
    }
    return effect;
}

}  // namespace sextara
