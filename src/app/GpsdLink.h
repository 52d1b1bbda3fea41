#pragma once

#include <memory>
#include <string>

#include "app/AppContext.h"
#include "gpsd/GpsdJson.h"
#include "gpsd/GpsdServer.h"

namespace sextara {

namespace gpsd {
class Service;
}

// The gpsd-protocol server as the application runs it: started after the GPS
// path when the gpsd port setting is not 0, told at every tick which
// receiver it serves, stopped before the path closes. For the front end's
// thread (AppCore's).
class GpsdLink {
public:
    explicit GpsdLink(AppContext& app);
    ~GpsdLink();
    GpsdLink(const GpsdLink&) = delete;
    GpsdLink& operator=(const GpsdLink&) = delete;

    // Listens on config.gpsdListen, config.gpsdPort. A failure (the port in
    // use, say by a gpsd of the system) is logged and kept in LastError; the
    // program runs on without the server.
    void Start();
    // The receiver's device, make and rate, or none while its port is not live.
    void Refresh(bool receiverLive);
    void Stop();

    bool Running() const;
    gpsd::ServerStatus Status() const;
    // "127.0.0.1:2947", "[::1]:2947".
    std::string Address() const;
    const std::string& LastError() const { return error_; }

private:
    AppContext& app_;
    std::unique_ptr<gpsd::Service> service_;
    gpsd::DeviceInfo shown_;
    std::string error_;
};

}  // namespace sextara
