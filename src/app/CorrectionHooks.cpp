#include "app/CorrectionHooks.h"

#include "corrections/NetworkBringUp.h"
#include "receiver/ReceiverCommands.h"

namespace sextara {

void AddCorrectionHooks(AppContext& app, AppHooks& hooks) {
    // At start only a check: a caster chosen later may sit on loopback.
    hooks.startNetworking = [] { corrections::EnsureNetwork(); };
    hooks.loadCasterSettings = [&app] { app.correctionLink.LoadSourceTableFile(); };
}

void SendDiffInputCommands(AppContext& app) {
    sextara::SendDiffInputCommands(app.config.receiverType, app.gpsPort, app.Clock());
}

}  // namespace sextara
