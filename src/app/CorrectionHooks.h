#pragma once

#include "app/AppContext.h"
#include "app/AppCore.h"

namespace sextara {

// Fills the correction client's start-up hooks: networking (EnsureNetwork)
// and the load of the caster settings and the stored source table.
void AddCorrectionHooks(AppContext& app, AppHooks& hooks);
inline AppHooks WithCorrectionHooks(AppContext& app, AppHooks hooks) {
    AddCorrectionHooks(app, hooks);
    return hooks;
}

// The make's diff-input commands to the receiver, before a connection starts.
void SendDiffInputCommands(AppContext& app);

}  // namespace sextara
