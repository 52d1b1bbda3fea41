// Start to first frame of a window program, as its user sees it: forks and
// runs the program on the X display, waits for its first top-level window to
// be mapped, then reads the screen under that window until its pixels change
// from what the screen showed before the start: the first frame the program
// put there. Prints the milliseconds from the fork to the map and to that
// frame, then ends the program (SIGTERM).
//   first-frame PROGRAM [ARGS...]
// Exit code 1 when the program ends or shows nothing within 10 s.
//
// Meant for a display of its own (Xvfb) with no other client drawing: any
// change under the window counts as the program's. A window created without
// a background (as Qt creates them) shows the screen beneath it until its
// program draws, so the screen taken before the start is what "nothing drawn
// yet" looks like.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kGiveUp = std::chrono::seconds(10);
// How often the screen is read while waiting for the frame: well below the
// millisecond figures this is for.
constexpr auto kReadEvery = std::chrono::microseconds(500);

struct ImageFree {
    void operator()(XImage* image) const { XDestroyImage(image); }
};
using Image = std::unique_ptr<XImage, ImageFree>;

struct Rect {
    int x = 0;
    int y = 0;
    unsigned width = 0;
    unsigned height = 0;
};

// A read of a window that is unmapped in the meantime fails with BadMatch;
// the caller sees a null image and tries again.
int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

Image Grab(Display* display, const Rect& r) {
    return Image(XGetImage(display, DefaultRootWindow(display), r.x, r.y, r.width, r.height, AllPlanes, ZPixmap));
}

// Pixel by pixel, through the image's own accessor: the two images may differ
// in padding, never in format (both are of the root window).
bool Differs(XImage* screen, const Rect& r, XImage* now) {
    for (unsigned y = 0; y < r.height; ++y) {
        for (unsigned x = 0; x < r.width; ++x) {
            const int sx = r.x + static_cast<int>(x);
            const int sy = r.y + static_cast<int>(y);
            if (XGetPixel(screen, sx, sy) != XGetPixel(now, static_cast<int>(x), static_cast<int>(y))) return true;
        }
    }
    return false;
}

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool ProgramEnded(pid_t pid) {
    int status = 0;
    return waitpid(pid, &status, WNOHANG) == pid;
}

// The first top-level window mapped after the start, with its place on the
// screen; nothing when the program ends or the time is up.
std::optional<Rect> WaitForMap(Display* display, pid_t pid, Clock::time_point start) {
    while (Clock::now() - start < kGiveUp) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify || event.xmap.override_redirect) continue;
            XWindowAttributes attributes{};
            if (XGetWindowAttributes(display, event.xmap.window, &attributes) == 0) continue;
            Rect r;
            Window child = 0;
            XTranslateCoordinates(display, event.xmap.window, DefaultRootWindow(display), 0, 0, &r.x, &r.y, &child);
            // Only what is on the screen can be read.
            const int right = std::min(r.x + attributes.width, DisplayWidth(display, DefaultScreen(display)));
            const int bottom = std::min(r.y + attributes.height, DisplayHeight(display, DefaultScreen(display)));
            r.x = std::max(r.x, 0);
            r.y = std::max(r.y, 0);
            if (right <= r.x || bottom <= r.y) continue;
            r.width = static_cast<unsigned>(right - r.x);
            r.height = static_cast<unsigned>(bottom - r.y);
            return r;
        }
        if (ProgramEnded(pid)) return std::nullopt;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 10);
    }
    return std::nullopt;
}

bool WaitForFrame(Display* display, pid_t pid, XImage* screen, const Rect& r, Clock::time_point start) {
    while (Clock::now() - start < kGiveUp) {
        if (Image now = Grab(display, r); now && Differs(screen, r, now.get())) return true;
        if (ProgramEnded(pid)) return false;
        std::this_thread::sleep_for(kReadEvery);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: first-frame PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "first-frame: no X display\n");
        return 2;
    }
    XSetErrorHandler(IgnoreErrors);
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    const Rect whole{0, 0, static_cast<unsigned>(DisplayWidth(display, DefaultScreen(display))),
                     static_cast<unsigned>(DisplayHeight(display, DefaultScreen(display)))};
    const Image screen = Grab(display, whole);
    if (!screen) return 2;
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        execvp(argv[1], argv + 1);
        _exit(127);
    }
    if (pid < 0) return 2;
    int code = 1;
    if (const std::optional<Rect> window = WaitForMap(display, pid, start)) {
        const double mapMs = MsSince(start);
        if (WaitForFrame(display, pid, screen.get(), *window, start)) {
            std::printf("map %.1f ms, first frame %.1f ms (%ux%u)\n", mapMs, MsSince(start), window->width,
                        window->height);
            code = 0;
        }
    }
    if (code != 0) std::fprintf(stderr, "first-frame: no frame from %s\n", argv[1]);
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
    XCloseDisplay(display);
    return code;
}
