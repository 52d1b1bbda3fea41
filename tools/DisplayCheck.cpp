#include "DisplayCheck.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace sextara::tools {
namespace {

// Qt platform plugins that need no display server.
constexpr std::string_view kDisplayFree[] = {"offscreen", "minimal", "minimalegl",   "vnc",
                                             "linuxfb",   "eglfs",   "vkkhrdisplay", "directfb"};

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// A connect that does not wait: a server with a full backlog is still there.
bool Answers(const std::string& path, bool abstractName) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstractName ? 1 : 0;
    if (path.size() + offset >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return false;
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    const bool answered = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0 ||
                          errno == EAGAIN || errno == EINPROGRESS;
    ::close(fd);
    return answered;
}

// DISPLAY is [host]:number[.screen]; a local server listens on
// /tmp/.X11-unix/X<number>, on Linux also under that abstract name.
bool XDisplayAnswers(const std::string& display) {
    if (!display.empty() && display[0] == '/') return Answers(display, false);
    const std::size_t colon = display.rfind(':');
    if (colon == std::string::npos) return false;
    const std::string host = display.substr(0, colon);
    if (!host.empty() && host != "unix") return true;  // a remote display: Qt connects over the network
    const std::string number = display.substr(colon + 1, display.find('.', colon) - colon - 1);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos) return false;
    const std::string socketPath = "/tmp/.X11-unix/X" + number;
    return Answers(socketPath, true) || Answers(socketPath, false);
}

// WAYLAND_DISPLAY is a socket path, relative to XDG_RUNTIME_DIR unless absolute.
bool WaylandAnswers(const std::string& name) {
    if (!name.empty() && name[0] == '/') return Answers(name, false);
    const std::string runtime = Env("XDG_RUNTIME_DIR");
    return !runtime.empty() && Answers(runtime + "/" + name, false);
}

}  // namespace

std::string MissingDisplay() {
    bool wantX = true, wantWayland = true;
    const std::string platforms = Env("QT_QPA_PLATFORM");
    if (!platforms.empty()) {
        wantX = wantWayland = false;
        // "wayland;xcb" is a list tried in order; each entry may carry ":options".
        for (std::size_t at = 0; at <= platforms.size();) {
            const std::size_t end = std::min(platforms.find(';', at), platforms.size());
            const std::string entry = platforms.substr(at, end - at);
            const std::string name = entry.substr(0, entry.find(':'));
            at = end + 1;
            if (name.empty()) continue;
            for (std::string_view free : kDisplayFree) {
                if (name == free) return {};
            }
            if (name == "xcb") {
                wantX = true;
            } else if (name.rfind("wayland", 0) == 0) {
                wantWayland = true;
            } else {
                return {};  // a plugin of its own: Qt decides
            }
        }
    }
    const std::string display = Env("DISPLAY"), wayland = Env("WAYLAND_DISPLAY");
    if (wantX && !display.empty() && XDisplayAnswers(display)) return {};
    if (wantWayland && !wayland.empty() && WaylandAnswers(wayland)) return {};
    if (display.empty() && wayland.empty()) return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set";
    std::string names;
    if (!display.empty()) names = "DISPLAY=" + display;
    if (!wayland.empty()) names += (names.empty() ? "" : ", ") + std::string("WAYLAND_DISPLAY=") + wayland;
    return "no display answers (" + names + ")";
}

}  // namespace sextara::tools
