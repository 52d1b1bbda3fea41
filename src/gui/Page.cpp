#include "gui/Page.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/DialogResults.h"
#include "gui/DialogSupport.h"

namespace sextara::gui {

Page::Page(const platform::StringTable& strings, bool englishBar, QWidget* parent)
    : QDialog(parent), strings_(strings), englishBar_(englishBar) {
    setModal(true);
    // Nested layouts take no margins of their own: the body and the bar sit as
    // if they were rows of the page's one column.
    auto* layout = new QVBoxLayout(this);
    body_ = new QVBoxLayout;
    bar_ = new QHBoxLayout;
    layout->addLayout(body_, 1);
    layout->addLayout(bar_);
    connect(&timer_, &QTimer::timeout, this, [this] { OnTimer(); });
}

QPushButton* Page::AddBarButton(const BarCommand& command, platform::StringId text) {
    auto* button = new QPushButton(Text(strings_, text), this);
    // Tests and scripts find a bar's button by its command id.
    button->setObjectName(QString::number(command.For(englishBar_)));
    button->setMinimumHeight(40);
    bar_->addWidget(button);
    return button;
}

void Page::AddToBar(QWidget* widget) { bar_->addWidget(widget); }

void Page::AddBarStretch() { bar_->addStretch(); }

QPushButton* Page::AddReturnButton(const BarCommand& command, platform::StringId text) {
    QPushButton* button = AddBarButton(command, text);
    connect(button, &QPushButton::clicked, this, &Page::PressReturn);
    return button;
}

void Page::StartTimer(int intervalMs) { timer_.start(intervalMs); }

void Page::PressReturn() {
    if (MayLeave()) done(DialogResult::kFinished);
}

void Page::reject() {
    if (MayLeave()) QDialog::reject();
}

void Page::closeEvent(QCloseEvent* event) {
    if (!MayLeave()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void Page::done(int result) {
    timer_.stop();
    QDialog::done(result);
}

}  // namespace sextara::gui
