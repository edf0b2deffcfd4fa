#include "app/desktop/start_up.h"

#include <cstdio>
#include <cstdlib>
#include <ostream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <QMessageLogContext>
#include <QString>

#include "app/version/version.h"

namespace gravlag {

namespace {

constexpr const char* kHelp = R"(Usage: gravlag [OPTION]...
The desktop program of gravlag: up to three point masses in a plane under a gravitational
pull that travels at a finite speed c. "Control Display" holds every parameter as a text in
a box; "Calculate" runs, "Simulation Display" dots the orbits and "Time Evolution Display"
plots the distances ("2 BH's") or the apsis directions with their fitted line ("Mercury").
Without a display, use gravlag-batch, which runs the same panel and the same run.

Options:
  --help             print this help and exit
  --version          print the version and exit
  -platform NAME     Qt's window system plugin (default xcb, the X Window System;
                     offscreen opens no window on any screen)
  -display DISPLAY   the X display to open (default: the DISPLAY variable)

Ctrl+S and Ctrl+O on "Control Display" save and load the panel's texts as a parameter file
(a JSON object, see PARAMETER FILES in the man page); a right click on a display offers
"Save image..." (PNG) and, in "Mercury", "Save apsis events..." (CSV). On "Time Evolution
Display" it also offers "Run report...": a window with the latest run's analysis as
gravlag-batch --report prints it, and "Save..." for the same analysis as JSON.

The regional number format is the environment's LC_ALL, else LC_NUMERIC, else LANG, as the
C library knows it; a locale that is not installed gives the point.

Exit status:
  0  the program ended ("End", or closing "Control Display")
  1  no display to open the windows on (no display named, or Qt could not use it)
  2  an argument that neither gravlag nor Qt knows
)";

// The value of a Qt option given as "-name value" or "--name value"; the last one counts.
const char* OptionValue(int argc, const char* const* argv, std::string_view name)
{
    const char* value = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        std::string_view argument = argv[i];
        if (argument.starts_with("--"))
            argument.remove_prefix(1);
        if (argument.size() == name.size() + 1 && argument[0] == '-' && argument.substr(1) == name)
            value = argv[i + 1];
    }
    return value;
}

bool Set(const char* value)
{
    return value && *value;
}

// What the platform plugin says while it starts, held back until it has started.
struct HeldMessage {
    QtMsgType type;
    std::string category, file, function, text;
    int line;
};
QtMessageHandler previousHandler = nullptr;
std::vector<HeldMessage> held;

void HoldPlatformMessages(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (type == QtFatalMsg && text.contains("platform plugin")) {
        // The plugin's first words say what went wrong ("could not connect to display :5");
        // what follows, and Qt's closing advice (reinstall, the list of plugins), does not
        // help here.
        const std::string reason =
            held.empty() ? text.section('\n', 0, 0).toStdString() : held.front().text;
        std::fprintf(stderr, "gravlag: no window system: %s (without a display, use gravlag-batch)\n",
                     reason.c_str());
        std::_Exit(1);
    }
    const std::string_view category = context.category ? context.category : "";
    if (!category.starts_with("qt.qpa")) {
        previousHandler(type, context, text);
        return;
    }
    held.push_back({type, std::string(category), context.file ? context.file : "",
                    context.function ? context.function : "", text.toStdString(), context.line});
}

} // namespace

PlatformStartGuard::PlatformStartGuard()
{
    previousHandler = qInstallMessageHandler(HoldPlatformMessages);
}

PlatformStartGuard::~PlatformStartGuard()
{
    qInstallMessageHandler(previousHandler);
    for (const HeldMessage& m : std::exchange(held, {})) {
        const QMessageLogContext context(m.file.c_str(), m.line, m.function.c_str(), m.category.c_str());
        previousHandler(m.type, context, QString::fromStdString(m.text));
    }
}

std::optional<int> AnswerWithoutWindows(int argc, const char* const* argv, std::ostream& out)
{
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            out << kHelp;
            return 0;
        }
        if (argument == "--version") {
            out << VersionText("gravlag") << "\n";
            return 0;
        }
    }
    return std::nullopt;
}

bool DisplayNamed(int argc, const char* const* argv)
{
    const char* platform = OptionValue(argc, argv, "platform");
    if (!Set(platform))
        platform = std::getenv("QT_QPA_PLATFORM");
    if (Set(platform)) {
        // "offscreen", "xcb:option=value", or a list to try in turn, "wayland;xcb".
        const std::string_view list = platform;
        for (std::size_t start = 0; start <= list.size();) {
            const std::size_t end = std::min(list.find(';', start), list.size());
            const std::string_view entry = list.substr(start, end - start);
            const std::string_view name = entry.substr(0, entry.find(':'));
            if (!name.empty() && name != "xcb")
                return true; // Qt's to judge
            start = end + 1;
        }
    }
    const char* display = OptionValue(argc, argv, "display");
    if (!Set(display))
        display = std::getenv("DISPLAY");
    if (Set(display))
        return true;
    return !Set(platform) && Set(std::getenv("WAYLAND_DISPLAY"));
}

} // namespace gravlag
