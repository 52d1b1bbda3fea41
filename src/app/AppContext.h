#pragma once

#include <cstdint>
#include <string>

#include "app/ClockSync.h"
#include "app/CorrectionMode.h"
#include "app/PortClient.h"
#include "app/Settings.h"
#include "corrections/CorrectionLink.h"
#include "decode/GnssDecoder.h"
#include "decode/GnssState.h"
#include "platform/Clock.h"
#include "platform/RegistryStore.h"
#include "platform/StringTable.h"
#include "receiver/GpsPath.h"
#include "receiver/PortDetector.h"
#include "receiver/ReceiverCommands.h"
#include "receiver/SerialPort.h"
#include "record/RawRecorder.h"

namespace sextara {

// The differential modes of a Hemisphere board, numbered as its commands are.
enum class DiffMode : std::int32_t { Sbas = 1, ExternalSource = 2 };

// The application context: nearly all long-lived state of the program. It is
// built before any window, reads config.ini and the settings store while it
// is constructed, and writes both back when it is destroyed, after the GPS
// path has been taken down in order.
//
// The data folder (platform/Paths.h) must be settled before construction:
// config.ini, the settings store and the event log are found through it.
class AppContext {
public:
    explicit AppContext(platform::Clock& clock = platform::SystemClock(),
                        std::chrono::milliseconds pumpPeriod = GpsPath::kPumpPeriod);
    ~AppContext();
    AppContext(const AppContext&) = delete;
    AppContext& operator=(const AppContext&) = delete;

    // The one state record; readers take Snapshot().
    GnssStateStore gnss;

    // config.ini: GPSPort, GPSBaud, DiffPort, DiffBaud, receiverType,
    // language, effectiveLanguage, BatteryValue and the COM map.
    ConfigSettings config;
    // The recording settings and the data-output switch of the settings store.
    RegistrySettings registry;
    std::string configPath;
    // Folder of the record files; every run starts with the program's directory.
    std::string recordFolder;
    // Mirrors recorder.IsRecording(), refreshed by AppCore.
    std::int32_t recording = 0;
    CorrectionMode correctionMode = CorrectionMode::None;
    // The differential mode last applied, for the program's life: the
    // external source until the user applies SBAS.
    DiffMode diffMode = DiffMode::ExternalSource;

    // Strings in the effective language (LoadLanguage).
    platform::StringTable strings;

    SerialPort gpsPort;
    SerialPort rawPort;
    SerialPort dataPort;
    SerialPort clientPort;
    DecoderHost decoders;
    GpsPath gpsPath;
    PortDetector detector;
    // After the ports and the path it uses, so it goes down before them.
    RawRecorder recorder;
    // Disarmed until a live receiver's port opens at start-up.
    ClockSync clockSync;

    // Loads the English library when config asks for English; falls back to
    // Chinese (and logs) when it cannot. Returns the effective language.
    int LoadLanguage();

    // Stores the make (also a code outside the table) and, for a known make,
    // installs a new decoder of it.
    void CreateDecoder(std::int32_t make);
    // Opens the receiver's port and starts the data path; 1 on success. The
    // port number and rate become GPSPort and GPSBaud.
    int OpenGpsPort(int portNumber, int baudRate);
    void CloseGpsPort();
    int SendStartupCommands();
    // Sends the make's commands for the mode and keeps it as diffMode.
    void SetReceiverDiffMode(DiffMode mode);

    platform::Clock& Clock() { return clock_; }
    // Counts the one-second ticks of the whole run (AppCore::Tick).
    StartupResendRule& ResendRule() { return resendRule_; }
    const StartupResendRule& ResendRule() const { return resendRule_; }
    platform::RegistryStore& Registry() { return registryStore_; }

private:
    platform::Clock& clock_;
    platform::RegistryStore registryStore_;
    StartupResendRule resendRule_;

public:
    // The correction clients. Declared last, so they go first: no correction
    // thread outlives a port it writes to. Both write to the receiver through
    // receiverGate, which drops bytes while the receiver's port is closed.
    OpenPortGate receiverGate;
    corrections::CorrectionLink correctionLink;
    PortClient portClient;
};

}  // namespace sextara
