#pragma once

#include "app/CasterSettingsModel.h"
#include "gui/DialogSupport.h"
#include "gui/Page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QRadioButton;

namespace sextara {
class AppContext;
}

namespace sextara::gui {

// The caster settings: CasterSettingsControl, and "sendCurrentGga" the
// current position in the periodic GGA, "useTls" TLS to the caster, "caFile"
// its private CA's PEM file; OK and Cancel (command::kOk, kCancel). Values
// that cannot be used are refused on OK with a message.
class CasterSettingsDialog final : public Page {
    Q_OBJECT
public:
    CasterSettingsDialog(AppContext& app, bool tcp, Prompts prompts, QWidget* parent = nullptr);

public slots:
    void PressOk();

private:
    QWidget* BuildServerGroup(const CasterDialogValues& v);
    QWidget* BuildGgaGroup(const CasterDialogValues& v);
    void EnableTyped();

    AppContext& app_;
    Prompts prompts_;
    bool tcp_;
    QLineEdit* address_ = nullptr;
    QLineEdit* port_ = nullptr;
    QLineEdit* user_ = nullptr;
    QLineEdit* password_ = nullptr;
    QRadioButton* receiverGga_ = nullptr;
    QRadioButton* typedGga_ = nullptr;
    QLineEdit* latitude_ = nullptr;
    QLineEdit* longitude_ = nullptr;
    QComboBox* northSouth_ = nullptr;
    QComboBox* eastWest_ = nullptr;
    QCheckBox* current_ = nullptr;
    QCheckBox* tls_ = nullptr;
    QLineEdit* caFile_ = nullptr;
};

}  // namespace sextara::gui
