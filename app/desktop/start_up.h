#pragma once
// What the desktop program settles before it opens a window: --help and --version, which
// need no display, and whether a display is named at all.

#include <iosfwd>
#include <optional>

namespace gravlag {

// The one line gravlag prints, with exit status 1, where no display is named at all.
inline constexpr const char* kNoDisplayMessage = "no display: set DISPLAY, or use gravlag-batch";

// Answers --help or --version on `out` and gives the exit status; nothing for any other
// command line, which is the window system's to read.
std::optional<int> AnswerWithoutWindows(int argc, const char* const* argv, std::ostream& out);

// Whether there is a display for Qt's window system plugin to try: a platform given with
// -platform or QT_QPA_PLATFORM other than xcb (offscreen, wayland, ...) is left to Qt;
// for xcb, the default, an X display must be named (-display, else DISPLAY). With no X
// display named, a Wayland display (WAYLAND_DISPLAY) is left to Qt as well. Nothing
// connects here: a bare X server resets when its last client leaves, and a probe that
// connected and left would make Qt's own connection right after it fail.
bool DisplayNamed(int argc, const char* const* argv);

// For the construction of the QApplication, which is the real test of the display: where
// Qt's window system plugin fails to start (a display that does not answer, a plugin that is
// not installed), prints one line with the plugin's own reason and ends the program with
// status 1 instead of Qt's abort. The plugin's messages are held back and printed once it
// has started.
class PlatformStartGuard {
public:
    PlatformStartGuard();
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;
};

} // namespace gravlag
