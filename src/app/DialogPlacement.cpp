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
    return PlacementRect{0, kCaptionHeight - 2, areaWidth, areaHeight - kMenuHeight - kCaptionHeight - 10};
}

}  // namespace sextara
