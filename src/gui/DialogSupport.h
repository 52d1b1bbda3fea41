#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

#include <QComboBox>
#include <QDialog>
#include <QIcon>
#include <QProgressBar>
#include <QPushButton>
#include <QString>

#include "app/DialogResults.h"
#include "platform/StringIds.h"
#include "platform/StringTable.h"

namespace sextara::gui {

using platform::StringId;

// The icon a notice carries, as its flow asks: information for a result the
// user waited for (a clock set, a table updated, "no fix yet"), warning for a
// failure, stop for a refused action.
enum class NoticeIcon { Information, Warning, Stop };

// The user's yes/no questions and notices. The window shows them as message
// boxes; tests answer them without a screen.
struct Prompts {
    // OK and Cancel with the question icon; true for OK.
    std::function<bool(const QString& text, const QString& caption)> confirm;
    // One OK button with the icon given.
    std::function<void(NoticeIcon icon, const QString& text, const QString& caption)> tell;

    // Message boxes over parent (OK is the default button, so Enter takes it).
    static Prompts MessageBoxes(QWidget* parent);
};

// Gives a control its dialog id (ui/ControlIds.h) as object name: tests and
// scripts find controls by it.
template <typename Widget, typename Control>
requires std::is_enum_v<Control> Widget* Named(Widget* widget, Control id) {
    widget->setObjectName(QString::number(static_cast<int>(id)));
    return widget;
}

// A name of the program's own for a control without a dialog id ("health").
// A number would pass by the id tables, so it does not compile.
class OwnName {
public:
    consteval OwnName(const char* name) : name_(name) {  // NOLINT(google-explicit-constructor)
        bool digits = *name != '\0';
        for (const char* c = name; *c != '\0'; ++c) digits = digits && *c >= '0' && *c <= '9';
        if (digits) throw "a dialog id goes through ui/ControlIds.h";
    }
    const char* Get() const { return name_; }

private:
    const char* name_;
};

template <typename Widget>
Widget* Named(Widget* widget, OwnName name) {
    widget->setObjectName(QString::fromLatin1(name.Get()));
    return widget;
}


// The serial port lists: "COM1" ... "COM9" and the five rates.
void FillPortChoices(QComboBox* port, QComboBox* baud);
// The rate's row in the rate list; an unknown rate shows the fastest.
int BaudRowOrFastest(int baud);
// The rate of a row; fallbackRow when nothing is chosen.
int BaudOfRow(int row, int fallbackRow);

// A UTF-8 text of the core as Qt holds it.
QString FromUtf8(std::string_view text);
// Steps on a progress bar as the common control's defaults show them: range
// 0..100, step 10, wrapping round.
void ShowProgressSteps(QProgressBar* bar, int steps);

// A string-table text in the effective language.
QString Text(const platform::StringTable& strings, int id);
// A text from the program's own (Chinese) table, whatever the language.
QString OwnText(int id);

// True when the window is taller than wide: the dialogs take their portrait
// layout.
bool IsPortrait(const QWidget* window);

// Places a dialog over the main window by the rule of DialogPlacement.h
// (kPlacePopup keeps the dialog's size; full page covers the window's page).
void PlaceOnWindow(QDialog& dialog, const QWidget* window, int mode);

// Gives the keyboard back once a modal dialog or message box has closed: to
// the dialog still open under it, else to window's top level. Without it an X
// server without a window manager (and some with one) leaves the keyboard
// nowhere until a click, and the window's shortcuts are dead.
void ReturnFocus(QWidget* window);
// PlaceOnWindow, exec, ReturnFocus; the dialog's result.
int ExecOnWindow(QDialog& dialog, QWidget* window, int mode);

// The program's icon, drawn in code so that window, tray and every size
// share one picture: a globe with a satellite in orbit.
QIcon ProgramIcon();

}  // namespace sextara::gui
