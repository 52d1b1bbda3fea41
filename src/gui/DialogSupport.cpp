#include "gui/DialogSupport.h"

#include <QApplication>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include "app/DialogPlacement.h"
#include "app/StartupDialogModel.h"

namespace sextara::gui {

void FillPortChoices(QComboBox* port, QComboBox* baud) {
    for (int n = 1; n <= StartupDialogModel::kPortCount; ++n) port->addItem(QStringLiteral("COM%1").arg(n));
    for (const int rate : StartupDialogModel::kBaudRates) baud->addItem(QString::number(rate));
}

int BaudRowOrFastest(int baud) {
    const int row = StartupDialogModel::BaudRowOf(baud);
    return row >= 0 ? row : static_cast<int>(StartupDialogModel::kBaudRates.size()) - 1;
}

int BaudOfRow(int row, int fallbackRow) {
    return StartupDialogModel::kBaudRates[static_cast<std::size_t>(row >= 0 ? row : fallbackRow)];
}

namespace {

QMessageBox::Icon MessageBoxIcon(NoticeIcon icon) {
    switch (icon) {
        case NoticeIcon::Information:
            return QMessageBox::Information;
        case NoticeIcon::Stop:
            return QMessageBox::Critical;
        case NoticeIcon::Warning:
            break;
    }
    return QMessageBox::Warning;
}

}  // namespace

Prompts Prompts::MessageBoxes(QWidget* parent) {
    Prompts prompts;
    prompts.confirm = [parent](const QString& text, const QString& caption) {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel, parent);
        box.setDefaultButton(QMessageBox::Ok);
        const bool ok = box.exec() == QMessageBox::Ok;
        ReturnFocus(parent);
        return ok;
    };
    prompts.tell = [parent](NoticeIcon icon, const QString& text, const QString& caption) {
        QMessageBox box(MessageBoxIcon(icon), caption, text, QMessageBox::Ok, parent);
        box.setDefaultButton(QMessageBox::Ok);
        box.exec();
        ReturnFocus(parent);
    };
    return prompts;
}

QString FromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void ShowProgressSteps(QProgressBar* bar, int steps) { bar->setValue((steps * 10) % 100); }

QString Text(const platform::StringTable& strings, int id) { return QString::fromStdString(strings.String(id)); }

QString OwnText(int id) { return FromUtf8(platform::StringTable::OwnString(id)); }

bool IsPortrait(const QWidget* window) { return window == nullptr || window->height() > window->width(); }

void PlaceOnWindow(QDialog& dialog, const QWidget* window, int mode) {
    if (window == nullptr) return;
    const QRect area = window->geometry();
    const QSize size = dialog.sizeHint().expandedTo(dialog.minimumSizeHint());
    const PlacementRect rect = PlaceDialog(mode, size.width(), size.height(), area.width(), area.height());
    dialog.setGeometry(area.x() + rect.x, area.y() + rect.y, rect.width, rect.height);
    dialog.setWindowFlag(Qt::WindowStaysOnTopHint, true);
}

void ReturnFocus(QWidget* window) {
    QWidget* next = QApplication::activeModalWidget();
    if (next == nullptr && window != nullptr) next = window->window();
    if (next == nullptr || !next->isVisible()) return;
    next->raise();
    next->activateWindow();
}

int ExecOnWindow(QDialog& dialog, QWidget* window, int mode) {
    PlaceOnWindow(dialog, window, mode);
    const int result = dialog.exec();
    ReturnFocus(window);
    return result;
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const int side : {16, 24, 32, 48, 64, 128}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(side / 64.0, side / 64.0);
        // The globe with two meridians and the equator.
        painter.setPen(QPen(QColor(0x0d, 0x47, 0xa1), 2.5));
        painter.setBrush(QColor(0x42, 0xa5, 0xf5));
        painter.drawEllipse(QPointF(28, 36), 22, 22);
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(QPointF(28, 36), 10, 22);
        painter.drawLine(QPointF(6, 36), QPointF(50, 36));
        // The satellite: a body with two panels, up to the right.
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0xff, 0xb3, 0x00));
        painter.drawRect(QRectF(47, 7, 9, 9));
        painter.setBrush(QColor(0x37, 0x47, 0x4f));
        painter.drawRect(QRectF(38, 9, 8, 5));
        painter.drawRect(QRectF(57, 9, 7, 5));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace sextara::gui
