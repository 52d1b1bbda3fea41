#pragma once

#include "gui/Page.h"

class QComboBox;
class QLineEdit;

namespace sextara {
class AppContext;
}

namespace sextara::gui {

// The recording options (RecordOptionsControl): data type (raw, normal),
// interval ("1s" .. "300s") and cut-off elevation. Return (command::kReturn)
// stores them; Esc and the close button leave them as they
// were. All three are locked while a recording runs; interval and cut-off
// only mean something for raw data of a make whose raw logs are built from
// them, and are locked otherwise.
class RecordOptionsDialog final : public Page {
    Q_OBJECT
public:
    explicit RecordOptionsDialog(AppContext& app, QWidget* parent = nullptr);

public slots:
    void PressReturn() override;

private:
    void ShowEnabling();

    AppContext& app_;
    QComboBox* type_ = nullptr;
    QComboBox* interval_ = nullptr;
    QLineEdit* cutoff_ = nullptr;
};

}  // namespace sextara::gui
