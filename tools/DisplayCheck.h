#pragma once

#include <string>

namespace sextara::tools {

// Why the window cannot open, before Qt is asked to (Qt aborts the process
// when its platform has no display); empty when it can: QT_QPA_PLATFORM
// names a platform that draws without a display (offscreen, minimal, vnc,
// ...) or one Qt knows and we do not, or the X display or Wayland socket the
// environment names answers. Only local displays are probed, never one on
// another host.
std::string MissingDisplay();

}  // namespace sextara::tools
