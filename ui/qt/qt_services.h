#pragma once
// The window services on Qt Widgets, for the desktop program. Needs a QApplication that
// outlives it.

#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include <QMargins>

#include "ui/qt/hand_over_policy.h"
#include "ui/qt/paint_pacer.h"
#include "ui/qt/twips_scale.h"
#include "ui/window_services.h"

class QWidget;

namespace gravlag::ui {

class QtWindow;
class XInputWatch;

class QtServices final : public WindowServices {
public:
    // logicalDpi 0: that of the primary screen (96 gives 15 twips to the pixel).
    explicit QtServices(double logicalDpi = 0.0);
    ~QtServices() override;

    Window& createWindow(std::string_view name, std::string_view caption, int innerWidthTwips,
                         int innerHeightTwips) override;
    void processPendingEvents() override;
    // The posted events at every call; the full hand-over when a frame is due or input has
    // arrived (hand_over_policy.h). On the offscreen platform nothing but posted events
    // brings input during a run (a test's synthesised events are delivered as they are
    // made); on X the X Input extension tells of it (x_input_watch.h); on any other platform
    // every call hands over in full.
    void processPendingInput() override;
    void endProgram() override;
    RegionalFormat regionalFormat() const override;
    void setRunning(bool running) override;
    // Told when a run starts and ends, after the windows have been told (the desktop
    // program disables its file entries while a run goes on).
    // Raised by setRunning, after the windows have been told.
    Subscription onRunningChanged(std::function<void(bool running)> subscriber)
    {
        return runningChanged_.subscribe(std::move(subscriber));
    }

    QtWindow* window(std::string_view name) const;
    QWidget* widget(std::string_view windowName) const; // the window's top-level widget
    const TwipsScale& scale() const { return scale_; }
    bool programEnded() const { return ended_; }

private:
    enum class InputSource { PostedOnly, Watched, Unknown };

    TwipsScale scale_;
    RegionalFormat format_; // the environment does not change while the program runs
    QMargins knownFrame_; // see QtWindow
    PaintPacer pacer_;    // before the windows, whose widgets defer to it
    std::vector<std::unique_ptr<QtWindow>> windows_;
    InputSource inputSource_ = InputSource::Unknown;
    std::unique_ptr<XInputWatch> inputWatch_;
    HandOverPolicy handOvers_;
    bool ended_ = false;
    Hook<bool> runningChanged_;
};

} // namespace gravlag::ui
