#pragma once
// The window services on Qt Widgets, for the desktop program. Needs a QApplication that
// outlives it.

#include <memory>
#include <string_view>
#include <vector>

#include <QMargins>

#include "ui/qt/paint_pacer.h"
#include "ui/qt/twips_scale.h"
#include "ui/window_services.h"

class QWidget;

namespace gravlag::ui {

class QtWindow;

class QtServices final : public WindowServices {
public:
    // logicalDpi 0: that of the primary screen (96 gives 15 twips to the pixel).
    explicit QtServices(double logicalDpi = 0.0);
    ~QtServices() override;

    Window& createWindow(std::string_view name, std::string_view caption, int innerWidthTwips,
                         int innerHeightTwips) override;
    void processPendingEvents() override;
    void endProgram() override;
    RegionalFormat regionalFormat() const override;
    void setRunning(bool running) override;

    QtWindow* window(std::string_view name) const;
    QWidget* widget(std::string_view windowName) const; // the window's top-level widget
    const TwipsScale& scale() const { return scale_; }
    bool programEnded() const { return ended_; }

private:
    TwipsScale scale_;
    QMargins knownFrame_; // see QtWindow
    PaintPacer pacer_;    // before the windows, whose widgets defer to it
    std::vector<std::unique_ptr<QtWindow>> windows_;
    bool ended_ = false;
};

} // namespace gravlag::ui
