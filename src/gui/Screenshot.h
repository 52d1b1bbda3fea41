#pragma once

#include <string>

namespace sextara::gui {

// sextara --screenshot FILE --size WxH [--capture FILE --make NAME] [--tab N] [--language 0|1]
//
// Lays the main view out for a W x H window, decodes the capture whole through
// the decoder of the make (configuration name, "enBlox9P" ...), selects tab N
// (0 GPS, 1 GLO, 2 BDS, 3 GAL; default 0), paints one frame and writes it as a
// W x H PNG. Opens no window and no port and arms no clock synchronisation.
// Without a capture the view shows an empty record (no fix: the device's
// clock). Language 0 Chinese, 1 English (default).
struct ScreenshotOptions {
    std::string output;
    int width = 0;
    int height = 0;
    std::string capture;  // empty: no capture
    int make = -1;        // with a capture, 0..11
    int tab = 0;
    int language = 1;
};

// The largest side taken, so that a typo cannot ask for gigabytes.
constexpr int kMaxScreenshotSide = 8192;

// Parses the whole command line (argv[0] is the program); every argument must
// belong to the screenshot. False with a message for anything else.
bool ParseScreenshotArgs(int argc, char** argv, ScreenshotOptions& out, std::string& error);

// Needs a QGuiApplication. 0 on success; 2 with a message for an unreadable
// capture or an image that cannot be written.
int WriteScreenshot(const ScreenshotOptions& options, std::string& error);

// For the program's main when it sees --screenshot: parses, creates an
// offscreen QGuiApplication unless one exists (QT_QPA_PLATFORM=offscreen
// when unset), writes the PNG. Messages go to stderr. Exit codes 0 and 2.
int RunScreenshot(int argc, char** argv);

}  // namespace sextara::gui
