#pragma once

#include <cstdint>

#include "gui/DialogSupport.h"
#include "gui/Page.h"

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace sextara {
class AppContext;
}

namespace sextara::gui {

// The PORT client page: PortClientControl and Return (command::kReturn). The
// port's bytes move to the receiver by the PortClient's own thread, page or
// no page.
class PortClientPage final : public Page {
    Q_OBJECT
public:
    PortClientPage(AppContext& app, Prompts prompts, QWidget* parent = nullptr);

public slots:
    void PressOpenClose();
    void OnTimer() override;

private:
    void ShowOpen(bool open);

    AppContext& app_;
    Prompts prompts_;
    QComboBox* port_ = nullptr;
    QComboBox* baud_ = nullptr;
    QPushButton* openClose_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* count_ = nullptr;
    std::uint32_t lastShown_ = 0;
    int steps_ = 0;
};

}  // namespace sextara::gui
