#pragma once

namespace sextara::platform {

// The handheld shell's menu bar (SM_CYMENU) and caption (SM_CYCAPTION)
// heights at 96 dpi. The view's layout and the dialog placement were laid out
// around them; they stay fixed numbers here so that the view and the dialogs
// sit the same whatever a desktop's window system draws around them.
inline constexpr int kMenuBarHeight = 26;
inline constexpr int kCaptionHeight = 26;

}  // namespace sextara::platform
