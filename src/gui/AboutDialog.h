#pragma once

#include "gui/Page.h"

namespace sextara {
class AppContext;
}

namespace sextara::gui {

// The About box: version, board and build date, and the data folder in use.
// OK (command::kReturn) leaves it.
class AboutDialog final : public Page {
    Q_OBJECT
public:
    AboutDialog(const AppContext& app, QWidget* parent);
};

}  // namespace sextara::gui
