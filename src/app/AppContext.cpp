#include "app/AppContext.h"

#include "app/EventLog.h"
#include "platform/Paths.h"
#include "platform/SerialDevice.h"
#include "platform/SystemTime.h"

namespace sextara {

AppContext::AppContext(platform::Clock& clock, std::chrono::milliseconds pumpPeriod)
    : gpsPort(AppendLog),
      rawPort(AppendLog),
      dataPort(AppendLog),
      clientPort(AppendLog),
      decoders(gnss, clock),
      gpsPath(gpsPort, decoders, pumpPeriod, AppendLog),
      detector(clock),
      recorder(gpsPort, rawPort, gpsPath, clock, AppendLog),
      clockSync(ClockSync::SystemSetter(), AppendLog),
      clock_(clock),
      registryStore_(platform::DataPath(platform::kRegistryFileName), AppendLog),
      receiverGate(gpsPort),
      correctionLink(registryStore_, AppendLog, clock, [this] { return gnss.Snapshot(); }),
      portClient(clientPort, receiverGate) {
    correctionLink.SetReceiverPort(&receiverGate);
    configPath = platform::DataPath(kConfigFileName);
    LoadConfig(configPath, config);
    platform::InstallComDevicePaths(config.comDevicePaths);
    LoadRegistrySettings(registryStore_, registry);
    recordFolder = platform::ProgramDirectory();
}

AppContext::~AppContext() {
    recorder.Stop("program exit");
    SaveConfig(configPath, config);
    SaveRegistrySettings(registryStore_, registry);
    // The data path goes down before the decoder it feeds; the ports and the
    // detector follow as members, each joining its own threads.
    gpsPath.CloseGpsPort();
    decoders.Destroy();
}

int AppContext::LoadLanguage() {
    config.effectiveLanguage = strings.LoadLanguage(config.language, AppendLog);
    return config.effectiveLanguage;
}

void AppContext::CreateDecoder(std::int32_t make) {
    config.receiverType = static_cast<ReceiverType>(make);
    decoders.CreateDecoder(make);
}

int AppContext::OpenGpsPort(int portNumber, int baudRate) {
    config.GPSPort = portNumber;
    config.GPSBaud = baudRate;
    return gpsPath.OpenGpsPort(portNumber % 256, baudRate);
}

void AppContext::CloseGpsPort() { gpsPath.CloseGpsPort(); }

int AppContext::SendStartupCommands() {
    return sextara::SendStartupCommands(config.receiverType, gpsPort, clock_);
}

void AppContext::SetReceiverDiffMode(DiffMode mode) {
    diffMode = mode;
    sextara::SetReceiverDiffMode(decoders, gpsPort, static_cast<int>(mode));
}

}  // namespace sextara
