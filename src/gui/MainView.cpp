#include "gui/MainView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include "platform/SystemTime.h"

namespace sextara::gui {

MainView::MainView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    painter_.Resize(size());
    Compose();
}

void MainView::SetLanguage(int effectiveLanguage) {
    painter_.SetLanguage(effectiveLanguage);
    Compose();
}

void MainView::Tick(const GnssState& snapshot, bool ntripConnected, bool receiverLost) {
    const platform::UtcTime now = platform::CurrentUtcTime();
    StatusInputs inputs;
    inputs.deviceUtc = {now.year, now.month, now.day, now.hour, now.minute, now.second};
    inputs.ntripConnected = ntripConnected;
    inputs.receiverLost = receiverLost;
    SetSnapshot(snapshot, inputs);
}

void MainView::SetSnapshot(const GnssState& snapshot, const StatusInputs& inputs) {
    shown_ = hold_.Apply(snapshot);
    inputs_ = inputs;
    Compose();
}

void MainView::SelectTab(int tab) {
    if (tab < 0 || tab > 3) return;
    selected_ = tab;
    Compose();
}

QRect MainView::TabRect(int tab) const {
    if (tab < 0 || tab > 3) return {};
    const ViewRect& r = painter_.Tabs()[static_cast<std::size_t>(tab)];
    return QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
}

void MainView::Compose() {
    // A hidden widget gets its resize event only when it is shown.
    if (painter_.Size() != size()) painter_.Resize(size());
    if (shown_.fixQuality > 0 && onPaintState) onPaintState(shown_);
    StatusInputs inputs = inputs_;
    inputs.selected = static_cast<Constellation>(selected_);
    painter_.Compose(shown_, FormatStatus(shown_, inputs, spinner_), selected_);
    update();
}

QImage MainView::RenderFrame(QSize size) const {
    ViewPainter painter;
    painter.SetLanguage(painter_.Language());
    painter.Resize(size);
    StatusInputs inputs = inputs_;
    inputs.selected = static_cast<Constellation>(selected_);
    int spinner = spinner_;
    painter.Compose(shown_, FormatStatus(shown_, inputs, spinner), selected_);
    return painter.Frame().copy();
}

void MainView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, painter_.Frame());
}

void MainView::resizeEvent(QResizeEvent* event) {
    painter_.Resize(event->size());
    Compose();
}

// The tap's own position in the view, not the screen cursor: the window need
// not start at the screen's corner.
void MainView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const QPoint at = event->position().toPoint();
    const int hit = HitTab(painter_.Tabs(), {at.x(), at.y()});
    if (hit < 0) return;
    selected_ = hit;
    Compose();
    repaint();
}

}  // namespace sextara::gui
