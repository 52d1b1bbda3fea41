#pragma once

#include "platform/SystemMetrics.h"

namespace sextara {

using platform::kCaptionHeight;
using platform::kMenuBarHeight;

struct PlacementRect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PlacementRect&) const = default;
};

// Placement modes: the pop-up of the start-up dialog, and full page for the
// others.
inline constexpr int kPlacePopup = 2;
inline constexpr int kPlaceFullPage = 0;

// Where a dialog of the given size goes on an area (the main window's
// geometry, standing in for the handheld's screen). Pop-up: same size,
// centred vertically; as wide as the area or wider gives x = 2 and the width
// less 4, narrower is aligned to the right edge. Full page: x 0, y caption
// height - 2, the area's width, and its height less the menu, the caption and
// 10 pixels. The result is relative to the area's top-left corner.
PlacementRect PlaceDialog(int mode, int dialogWidth, int dialogHeight, int areaWidth, int areaHeight);

}  // namespace sextara

namespace sextara {

// The main window's size on a screen: full screen when the screen is at
// most 1024 pixels both ways (a handheld, a small panel), else a 480 x 640
// window; a requested size (--geometry; 0 for none) always wins.
struct WindowSizeChoice {
    bool fullScreen = false;
    int width = 0;
    int height = 0;
    bool operator==(const WindowSizeChoice&) const = default;
};
WindowSizeChoice ChooseWindowSize(int screenWidth, int screenHeight, int requestedWidth, int requestedHeight);

}  // namespace sextara
