#pragma once

// Small helpers for driving widgets on the offscreen platform.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <thread>

namespace sextara::gui {

// Processes window events until the condition holds (bounded).
template <typename Condition>
bool PumpUntil(Condition condition, std::chrono::milliseconds deadline = std::chrono::seconds(20)) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Answers the dialog that comes up next with fn, once it is the modal one.
template <typename Fn>
void WhenModal(Fn fn) {
    QTimer::singleShot(0, [fn] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) fn(*dialog);
    });
}

// The child with this object name; a missing one fails the test.
template <typename Widget>
Widget* Find(QWidget& parent, const char* id) {
    Widget* widget = parent.findChild<Widget*>(QString::fromLatin1(id));
    EXPECT_NE(nullptr, widget) << id;
    return widget;
}

}  // namespace sextara::gui
