#pragma once
// A top-level window on Qt Widgets: caption, outer geometry in twips (the frame included),
// inner extents in pixels, a backing image to draw on, and its controls. A window is shown at
// its place in the layout where it fits on its screen's available area, else moved inside
// it; resized, it goes back to the layout's place, or stays where the person moved it, in
// both cases moved inside the area where it would not fit.

#include <memory>
#include <string>
#include <vector>

#include <QImage>
#include <QMargins>
#include <QPoint>
#include <QRect>

#include "ui/control_lookup.h"
#include "ui/qt/twips_scale.h"
#include "ui/window_services.h"

class QWidget;

namespace gravlag::ui {

class DrawingSurface;
class PaintPacer;
class QtTextBox;
class QtButton;
class QtLabel;

class QtWindow final : public Window {
public:
    // knownFrame: the frame margins last seen on any shown window of the program; a window
    // that has never been shown has no frame yet and is measured as if it had that one.
    // `services` and `pacer` are those of the program, which outlive the window.
    QtWindow(WindowServices& services, PaintPacer& pacer, std::string name,
             std::string_view caption, int innerWidthTwips, int innerHeightTwips,
             TwipsScale scale, QMargins* knownFrame);
    ~QtWindow() override;

    const std::string& name() const override { return name_; }
    std::string caption() const override;
    int left() const override;
    void setLeft(int twips) override;
    int top() const override;
    void setTop(int twips) override;
    int outerWidth() const override;
    void setOuterWidth(int twips) override;
    int outerHeight() const override;
    void setOuterHeight(int twips) override;
    void setScaleModePixels() override {} // pixels are the only unit drawing uses here
    int innerWidth() const override;
    int innerHeight() const override;
    bool isVisible() const override;
    void show() override;
    void erase() override;
    void setPixel(float x, float y, Rgb color) override;
    TextBox& addTextBox(const ControlDesign& design) override;
    Label& addLabel(const ControlDesign& design) override;
    Button& addButton(const ControlDesign& design) override;
    void onCloseRequest(Handler handler) override { onClose_ = std::move(handler); }

    QWidget* widget() const;
    const QImage& surfaceImage() const;
    // Lookup by name, for names from outside the program (tests), by the rule of
    // control_lookup.h.
    QtTextBox* textBox(std::string_view name) const;
    QtButton* button(std::string_view name) const;
    QtLabel* label(std::string_view name) const;

    // Program end: closes the window without asking its close handler.
    void closeForEnd();

    // `front`, a window kept in front of this one, is not to cover it where it can be avoided
    // (see PlaceBeside in screen_fit.h). `front` outlives this window.
    void keepClearOf(const QWidget* front) { front_ = front; }

private:
    QMargins frame() const;
    void placeAt(QPoint wanted); // `wanted`, or inside the screen when shown and it does not fit
    void awaitFrame(int pollsLeft);
    QRect mustShow() const; // in frame coordinates: the start of the title bar and the controls
    QPoint resizedPlace();
    bool closeRequested();
    void addFocusable(int tabIndex, QWidget* widget);

    WindowServices& services_;
    PaintPacer& pacer_;
    std::string name_;
    TwipsScale scale_;
    QMargins* knownFrame_;
    const QWidget* front_ = nullptr;
    QPoint layoutPos_; // pixels: the frame's top-left corner as the layout or the person put it
    QPoint placedAt_;  // where placeAt last put it (the person may have moved it since)
    Handler onClose_;
    bool closingForEnd_ = false;
    ControlList controls_;
    std::vector<std::pair<int, QWidget*>> focusable_; // tab index, widget
    std::unique_ptr<DrawingSurface> surface_; // destroyed first: no widget outlives its wrapper
};

} // namespace gravlag::ui
