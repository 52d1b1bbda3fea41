#include "app/GpsdLink.h"

#include <cstdio>

#include "app/EventLog.h"
#include "decode/ReceiverMakes.h"
#include "gpsd/GpsdService.h"
#include "platform/SerialDevice.h"
#include "platform/SystemTime.h"

namespace sextara {
namespace {

std::string NowIso() {
    const platform::UtcTime t = platform::CurrentUtcTime();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", t.year, t.month, t.day, t.hour, t.minute,
                  t.second, t.millisecond);
    return text;
}

}  // namespace

GpsdLink::GpsdLink(AppContext& app) : app_(app) {}

GpsdLink::~GpsdLink() { Stop(); }

void GpsdLink::Start() {
    if (service_ || app_.config.gpsdPort <= 0) return;
    gpsd::ServerOptions options;
    options.listenAddress = app_.config.gpsdListen;
    options.port = app_.config.gpsdPort;
    options.log = AppendLog;
    auto service = std::make_unique<gpsd::Service>(app_.gpsPath, app_.gnss, app_.decoders, app_.Clock(), options);
    error_ = service->Start();
    if (!error_.empty()) {
        AppendLog(("gpsd server not started: " + error_).c_str());
        return;
    }
    service_ = std::move(service);
    shown_ = {};
    AppendLog(("gpsd server listening on " + Address()).c_str());
}

void GpsdLink::Refresh(bool receiverLive) {
    if (!service_) return;
    gpsd::DeviceInfo device;
    if (receiverLive) {
        const std::int32_t make = app_.config.receiverType;
        device.path = platform::ComDevicePath(app_.gpsPath.GpsPortNumber());
        device.driver = std::string(ConfigNameOf(make));
        device.bps = app_.gpsPath.GpsBaud();
        device.binary = ReceiverMakeOf(make).decoderProfile.inputResult == 0;
        device.activated = device.path == shown_.path ? shown_.activated : NowIso();
    }
    const bool same = device.path == shown_.path && device.driver == shown_.driver && device.bps == shown_.bps;
    if (same) return;
    shown_ = device;
    service_->SetDevice(device);
}

void GpsdLink::Stop() {
    if (!service_) return;
    service_->Stop();
    service_.reset();
}

bool GpsdLink::Running() const { return service_ != nullptr; }

gpsd::ServerStatus GpsdLink::Status() const { return service_ ? service_->Status() : gpsd::ServerStatus{}; }

std::string GpsdLink::Address() const {
    const std::string& host = app_.config.gpsdListen;
    const std::string port = std::to_string(service_ ? service_->Port() : app_.config.gpsdPort);
    return host.find(':') != std::string::npos ? "[" + host + "]:" + port : host + ":" + port;
}

}  // namespace sextara
