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

// Needs a QGuiApplication. 0 on success; 2 with a message for an unreadable
// capture or an image that cannot be written.
int WriteScreenshot(const ScreenshotOptions& options, std::string& error);

// For the program's main in its screenshot mode: creates a QGuiApplication
// on the offscreen platform unless one exists, so that no display is needed,
// and writes the PNG. Messages go to stderr.
// Exit codes 0 and 2.
int RunScreenshot(const ScreenshotOptions& options);

}  // namespace sextara::gui
