#pragma once
// The window services: everything the panel and the displays (and, through the panel's
// RunHost, the run) need from a windowing toolkit, and nothing more. This folder is the
// toolkit-free interface; two implementations exist: an in-memory one (ui/headless/) for
// tests and the batch runner, and one on Qt Widgets (ui/qt/) for the desktop program.
//
// Units. Window geometry (left, top, outer width and height) is in twips, 1440 to the inch.
// Inner extents, drawing coordinates and control positions are in pixels of the window's
// inner area, origin top left, y downwards. Controls are created from their design geometry
// in twips; an implementation converts at its own twips-per-pixel (15 at 96 dots per inch).

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "core/number_text.h"
#include "ui/subscription.h"

namespace gravlag::ui {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

using Handler = std::function<void()>;

// Design geometry of a control, in twips, as laid out in the window's designer.
struct ControlDesign {
    std::string name;    // e.g. "Tmass(0)", "CommandCalc"; also the toolkit's object name
    std::string text;    // initial text or caption
    int left = 0, top = 0, width = 0, height = 0; // twips
    int tabIndex = 0;
};

class Control {
public:
    virtual ~Control() = default;
    virtual const std::string& name() const = 0;
    virtual int left() const = 0;        // pixels
    virtual void setLeft(int px) = 0;
    virtual int top() const = 0;         // pixels
    virtual void setTop(int px) = 0;
    virtual bool isVisible() const = 0;  // the control's own flag, not its window's
    virtual void setVisible(bool visible) = 0;
};

class Label : public Control {
public:
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
};

class Button : public Control {
public:
    virtual std::string caption() const = 0;
    virtual void setCaption(std::string_view caption) = 0;
    virtual void onClick(Handler handler) = 0;
};

class TextBox : public Control {
public:
    virtual std::string text() const = 0;
    // A text that differs from the current one raises the change event before this returns;
    // a change handler that sets the text again is entered again (re-entrantly).
    virtual void setText(std::string_view text) = 0;
    virtual void setTextColor(Rgb color) = 0;
    virtual void setBackgroundColor(Rgb color) = 0;
    virtual void onClick(Handler handler) = 0;
    virtual void onChange(Handler handler) = 0;
};

class Window {
public:
    virtual ~Window() = default;
    virtual const std::string& name() const = 0;     // "Form1", "Form2", "Form3"
    virtual std::string caption() const = 0;

    // Outer geometry in twips, effective at once.
    virtual int left() const = 0;
    virtual void setLeft(int twips) = 0;
    virtual int top() const = 0;
    virtual void setTop(int twips) = 0;
    virtual int outerWidth() const = 0;
    virtual void setOuterWidth(int twips) = 0;
    virtual int outerHeight() const = 0;
    virtual void setOuterHeight(int twips) = 0;

    // After this, drawing coordinates and inner extents are pixels (the only mode the
    // program uses; an implementation may treat it as a no-op).
    virtual void setScaleModePixels() = 0;
    virtual int innerWidth() const = 0;   // pixels, for the current outer size
    virtual int innerHeight() const = 0;

    virtual bool isVisible() const = 0;
    virtual void show() = 0;              // a shown window stays shown

    // Drawing on the inner area. A pixel outside the area is ignored.
    virtual void erase() = 0;
    virtual void setPixel(float x, float y, Rgb color) = 0;

    virtual TextBox& addTextBox(const ControlDesign& design) = 0;
    virtual Label& addLabel(const ControlDesign& design) = 0;
    virtual Button& addButton(const ControlDesign& design) = 0;

    // Raised when the person closes the window through its frame.
    virtual void onCloseRequest(Handler handler) = 0;
};

class WindowServices {
public:
    virtual ~WindowServices() = default;
    WindowServices() = default;
    WindowServices(const WindowServices&) = delete;
    WindowServices& operator=(const WindowServices&) = delete;
    // A window is created hidden, with its designed inner size in twips.
    virtual Window& createWindow(std::string_view name, std::string_view caption,
                                 int innerWidthTwips, int innerHeightTwips) = 0;
    // Runs every pending repaint, click and key stroke to completion, then returns.
    virtual void processPendingEvents() = 0;
    // The hand-over of a run's display update, every 100 passes: every click and key stroke
    // that has reached the program runs to completion before this returns, as with
    // processPendingEvents; repaints and timers may wait for the next frame (about 60 a
    // second), so that a hand-over that finds no input costs next to nothing. An
    // implementation that cannot tell whether input is waiting hands over in full.
    virtual void processPendingInput() { processPendingEvents(); }
    // Closes every window and ends the program: the caller returns at once and the event
    // loop runs nothing more (the headless implementation records that it was asked).
    virtual void endProgram() = 0;
    virtual RegionalFormat regionalFormat() const = 0;
    // Brackets a run. While it lasts the windows may show the texts and dots the program
    // sets up to a frame late (the desktop windows paint at most about 60 times a second);
    // when it ends, everything is shown as set. What the program reads back is never late.
    virtual void setRunning(bool /*running*/) {}

    // A fault inside the windows that reaches no caller as a return value (a chain of change
    // handlers cut at its depth limit), one line each, to every subscriber: the program
    // prints or shows it. Without a subscriber it is dropped.
    Subscription onProblem(std::function<void(std::string_view)> subscriber)
    {
        return problems_.subscribe(std::move(subscriber));
    }
    void reportProblem(std::string_view problem) { problems_(problem); }

private:
    Hook<std::string_view> problems_;
};

// The device pixel that a single-precision drawing coordinate falls on: nearest, halves up.
// Both implementations use it, so their pictures agree pixel for pixel. Coordinates far
// outside any window (a body flung away) map to a pixel that no window has, without
// overflowing the int conversion; NaN maps there too. Within, the floor of coordinate + 1/2
// as a truncation stepped down where it went up: trunc of a float is a float, so the
// comparison is exact, and no call to floorf is made per pixel.
inline int DevicePixel(float coordinate)
{
    constexpr float kFar = 1.0e9f;
    if (!(coordinate > -kFar && coordinate < kFar)) [[unlikely]]
        return std::numeric_limits<int>::min();
    const float v = coordinate + 0.5f;
    const int toZero = static_cast<int>(v);
    return static_cast<float>(toZero) > v ? toZero - 1 : toZero;
}

} // namespace gravlag::ui
