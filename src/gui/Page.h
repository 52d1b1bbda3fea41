#pragma once

#include <QDialog>
#include <QTimer>

#include "app/CommandIds.h"
#include "platform/StringIds.h"

class QCloseEvent;
class QHBoxLayout;
class QPushButton;
class QVBoxLayout;

namespace sextara::platform {
class StringTable;
}

namespace sextara::gui {

// What every page and dialog with a bottom button bar shares: the body above
// the bar, the bar's buttons named by their command ids on the bar of the
// language in use, the page's timer and the way out. Return leaves with
// DialogResult::kFinished; while MayLeave() says no, Return, Esc and the
// close button do nothing. Closing the page stops its timer.
class Page : public QDialog {
    Q_OBJECT
public:
    static constexpr int kTimerMs = 1000;

    bool TimerActive() const { return timer_.isActive(); }
    int TimerInterval() const { return timer_.interval(); }

public slots:
    // The page timer's work, public so that tests need not wait for it.
    virtual void OnTimer() {}
    virtual void PressReturn();
    void reject() override;
    void done(int result) override;

protected:
    Page(const platform::StringTable& strings, bool englishBar, QWidget* parent);

    const platform::StringTable& Strings() const { return strings_; }
    bool EnglishBar() const { return englishBar_; }
    // Where the page puts what it shows.
    QVBoxLayout* Body() const { return body_; }

    // The bar, filled left to right. Its buttons take the string table's text.
    QPushButton* AddBarButton(const BarCommand& command, platform::StringId text);
    void AddToBar(QWidget* widget);
    void AddBarStretch();
    // The Return button, connected to PressReturn.
    QPushButton* AddReturnButton(const BarCommand& command = command::kReturn,
                                 platform::StringId text = platform::StringId::kReturn);

    void StartTimer(int intervalMs = kTimerMs);
    void StopTimer() { timer_.stop(); }

    virtual bool MayLeave() const { return true; }
    void closeEvent(QCloseEvent* event) override;

private:
    const platform::StringTable& strings_;
    bool englishBar_;
    QTimer timer_;
    QVBoxLayout* body_ = nullptr;
    QHBoxLayout* bar_ = nullptr;
};

}  // namespace sextara::gui
