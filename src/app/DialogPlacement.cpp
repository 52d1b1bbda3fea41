#include "app/DialogPlacement.h"

namespace sextara {

PlacementRect PlaceDialog(int mode, int dialogWidth, int dialogHeight, int areaWidth, int areaHeight) {
    if (mode == kPlacePopup) {
        PlacementRect rect{0, (areaHeight - dialogHeight) / 2, dialogWidth, dialogHeight};
        if (dialogWidth >= areaWidth) {
            rect.x = 2;
            rect.width = areaWidth - 4;
        } else {
            rect.x = areaWidth - dialogWidth;
        }
        return rect;
    }
    return PlacementRect{0, kCaptionHeight - 2, areaWidth, areaHeight - kMenuBarHeight - kCaptionHeight - 10};
}

}  // namespace sextara

namespace sextara {

WindowSizeChoice ChooseWindowSize(int screenWidth, int screenHeight, int requestedWidth, int requestedHeight) {
    if (requestedWidth > 0 && requestedHeight > 0) return {false, requestedWidth, requestedHeight};
    if (screenWidth <= 1024 && screenHeight <= 1024) return {true, screenWidth, screenHeight};
    return {false, 480, 640};
}

}  // namespace sextara
