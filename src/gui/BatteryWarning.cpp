#include "gui/BatteryWarning.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMetaObject>
#include <QScreen>
#include <QThread>
#include <QVBoxLayout>

#include "gui/DialogSupport.h"
#include "ui/ControlIds.h"

namespace sextara::gui {

using ui::BatteryWarningControl;

BatteryWarning::BatteryWarning(const QString& text, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint), model_(text.toStdString()) {
    setAttribute(Qt::WA_ShowWithoutActivating);
    label_ = Named(new QLabel(QString::fromStdString(model_.Text()), this), BatteryWarningControl::Text);
    label_->setWordWrap(true);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label_);
    // Across the screen with small margins, centred vertically.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        const int height = sizeHint().height();
        const int w = sizeHint().width();
        const int margin = w > area.width() ? (w - area.width()) / 4 : 5;
        setGeometry(area.x() + margin, area.y() + (area.height() - height) / 2, area.width() - 2 * margin, height);
    }
    timer_.setInterval(static_cast<int>(BatteryWarningText::kTickPeriod.count()));
    connect(&timer_, &QTimer::timeout, this, &BatteryWarning::Tick);
    timer_.start();
}

void BatteryWarning::Tick() {
    const bool end = model_.Tick();
    label_->setText(QString::fromStdString(model_.Text()));
    if (end) {
        timer_.stop();
        close();
    }
}

BatteryWarningPresenter::BatteryWarningPresenter(QWidget* owner) : QObject(owner), owner_(owner) {}

BatteryWarningPresenter::~BatteryWarningPresenter() { Shutdown(); }

void BatteryWarningPresenter::ShowAndWait(const std::string& text) {
    std::unique_lock<std::mutex> lock(lock_);
    if (shutDown_) return;
    up_ = true;
    const QString message = QString::fromStdString(text);
    QMetaObject::invokeMethod(this, [this, message] { ShowOnWindowThread(message); }, Qt::QueuedConnection);
    closed_.wait(lock, [this] { return !up_ || shutDown_; });
}

void BatteryWarningPresenter::ShowOnWindowThread(const QString& text) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (shutDown_) return;
    }
    auto* warning = new BatteryWarning(text, owner_);
    warning->setAttribute(Qt::WA_DeleteOnClose);
    current_ = warning;
    connect(warning, &QDialog::finished, this, &BatteryWarningPresenter::Finished);
    warning->show();
}

void BatteryWarningPresenter::Finished() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        up_ = false;
    }
    closed_.notify_all();
}

void BatteryWarningPresenter::Shutdown() {
    if (current_) current_->close();
    {
        std::lock_guard<std::mutex> guard(lock_);
        shutDown_ = true;
        up_ = false;
    }
    closed_.notify_all();
}

}  // namespace sextara::gui
