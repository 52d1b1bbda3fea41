#pragma once

// The main view: the main window's whole client area. Sky plot, status panel
// of ten values, four constellation tabs and the signal chart, drawn into two
// images (background once per size and language, frame per paint) and copied
// to the widget in one step.
//
// API for the main window:
//   MainView(QWidget* parent = nullptr)
//   SetLanguage(int effectiveLanguage)  0 Chinese, 1 English; picks the faces
//                                       (the texts of the view are the same in both).
//   Tick(const GnssState& snapshot, bool ntripConnected, bool receiverLost)
//       The one-second refresh: pass app.gnss.Snapshot(); the device's UTC
//       clock (shown while there is no fix) is read here. Composes a frame
//       and schedules its copy to the screen.
//   SetSnapshot(const GnssState& snapshot, const StatusInputs& inputs)
//       The same with every input given (inputs.selected is ignored: the view
//       owns the selected tab).
//   onPaintState  std::function<void(const GnssState&)>
//       Called while a frame is composed whose state has a fix (fixQuality > 0),
//       before the values are formatted: the hook of the clock synchronisation.
//   SelectedTab() 0 GPS, 1 GLONASS, 2 BeiDou, 3 Galileo (GPS at start).
//   SelectTab(int) as a tap on that tab.
//   TabRect(int)  where a tab is drawn, in view coordinates.
//   RenderFrame(QSize) one frame of the latest state at any size, without
//       touching the widget, the spinner or the hook: the screenshot.
//
// The layout follows the widget's size: a resize lays the view out again and
// repaints the background. Portrait when the view is taller than wide.
// A tap on a tab (or up to 39 pixels below it) selects it and repaints at
// once; a tap anywhere else changes nothing. Satellite tables are shown whole:
// while a constellation's GSV group is being received the view keeps that
// constellation's last whole table (SatelliteHold).

#include <functional>

#include <QImage>
#include <QWidget>

#include "decode/GnssState.h"
#include "gui/ViewPainter.h"
#include "ui/SatelliteHold.h"
#include "ui/StatusFormat.h"

namespace sextara::gui {

class MainView : public QWidget {
    Q_OBJECT

public:
    explicit MainView(QWidget* parent = nullptr);

    void SetLanguage(int effectiveLanguage);
    void Tick(const GnssState& snapshot, bool ntripConnected, bool receiverLost = false);
    void SetSnapshot(const GnssState& snapshot, const StatusInputs& inputs);

    std::function<void(const GnssState&)> onPaintState;

    int SelectedTab() const { return selected_; }
    void SelectTab(int tab);
    QRect TabRect(int tab) const;

    QImage RenderFrame(QSize size) const;
    // The frame as it stands, for tests and the window.
    const QImage& Frame() const { return painter_.Frame(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void Compose();

    ViewPainter painter_;
    SatelliteHold hold_;
    GnssState shown_{};
    StatusInputs inputs_{};
    int selected_ = 0;
    int spinner_ = 0;
};

}  // namespace sextara::gui
