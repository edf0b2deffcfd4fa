#pragma once
// What the desktop program settles before it opens a window: --help and --version, which
// need no display, and whether there is a display to open the windows on at all.

#include <iosfwd>
#include <optional>

namespace gravlag {

// The one line gravlag prints, with exit status 1, where no window can be opened.
inline constexpr const char* kNoDisplayMessage = "no display: set DISPLAY, or use gravlag-batch";

// Answers --help or --version on `out` and gives the exit status; nothing for any other
// command line, which is the window system's to read.
std::optional<int> AnswerWithoutWindows(int argc, const char* const* argv, std::ostream& out);

// Whether Qt's window system plugin can be expected to start: a platform given with
// -platform or QT_QPA_PLATFORM other than xcb (offscreen, wayland, ...) is left to Qt;
// for xcb, the default, the X display (-display, else DISPLAY) must accept a connection.
// With no X display named, a Wayland display (WAYLAND_DISPLAY) is left to Qt as well.
bool DisplayAvailable(int argc, const char* const* argv);

// For the construction of the QApplication: where Qt's window system plugin fails to start
// after all (a display that went away, a plugin that is not installed), prints
// kNoDisplayMessage alone and ends the program with status 1 instead of Qt's abort. The
// plugin's own messages are held back and printed once it has started.
class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

} // namespace gravlag
