#pragma once
// Window services in a web page: each window a box on the page, its controls HTML elements
// (text boxes as inputs, labels, buttons), its drawing area a canvas. What the program sets
// is kept here and written to the page when it next paints; what the person does is queued
// by the page and run, as on the desktop, where the program hands control to the event
// system. A run's hand-over lets the browser run (paint, take clicks) about 60 times a
// second, so "Stop" works and the page stays alive; between those the hand-over costs next
// to nothing, since no input can arrive while the program holds the browser.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_lookup.h"
#include "ui/raise.h"
#include "ui/surface.h"
#include "ui/web/dom.h"
#include "ui/window_services.h"

namespace gravlag::ui {

class WebWindow;

// What the page needs of every control, whatever its kind: writing it to the page, and the
// person's input that reaches it (none for a label).
class WebPagePart {
public:
    virtual ~WebPagePart() = default;
    virtual void paint() = 0;
    virtual void click() {}
    virtual void type(std::string_view /*text*/) {}
};

class WebServices final : public WindowServices {
public:
    // The same frame as the in-memory windows, so the drawing areas have their sizes and the
    // pictures agree pixel for pixel.
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kFrameLeft = 4, kFrameRight = 4, kFrameTop = 26, kFrameBottom = 4;
    // How long a run may hold the browser between two hand-overs that let it run: one frame,
    // or as long as the browser's last turn took when that was longer (a loaded machine, a
    // first run whose code the browser is still compiling), so that a run keeps at least
    // half the time; never more than kLongestTurnMs, so that "Stop" is still taken promptly.
    static constexpr double kFrameMs = 16.0;
    static constexpr double kLongestTurnMs = 250.0;
    // A run's first hand-over comes this long after its start: the browser has just run
    // (it took the click that started it), and a short run (both default runs: "Mercury"
    // takes a little over 50 ms in a page on the project's machines) is over by then, its
    // result shown at once instead of after a frame spent on pictures half drawn, the first
    // frame with the displays costing most. Still what a person takes for an immediate
    // answer to "Stop".
    static constexpr double kFirstTurnMs = 100.0;

    // Off the page: windows and controls that the page never shows and whose input never
    // comes, and a run that never hands over (app/web/warm_up.h runs the program on these,
    // so that the browser learns this program's calls, not another implementation's).
    enum class Place { Page, OffPage };
    explicit WebServices(Place place = Place::Page);
    ~WebServices() override;

    Window& createWindow(std::string_view name, std::string_view caption,
                         int innerWidthTwips, int innerHeightTwips) override;
    void processPendingEvents() override;
    void processPendingInput() override;
    void endProgram() override;
    RegionalFormat regionalFormat() const override { return {}; }
    void setRunning(bool running) override;

    // Writes what changed since the last time to the page: texts, places, pictures.
    void paint();
    WebWindow* window(std::string_view name);
    bool programEnded() const { return ended_; }
    bool onPage() const { return onPage_; }
    int newControlId() { return nextControlId_++; }
    // Every control by its id, for the page's events.
    void registerControl(int id, WebPagePart& control);

private:
    void runQueuedInput();
    void handOver(bool letBrowserRun);
    std::vector<std::unique_ptr<WebWindow>> windows_;
    std::vector<WebPagePart*> controlsById_;
    bool onPage_;
    int nextControlId_ = 0;
    bool ended_ = false;
    bool running_ = false;
    double lastBrowserTurn_ = 0; // ms, gravlag_dom_now
    double runTurnMs_ = kFrameMs; // ms the run holds the browser before its next hand-over
};

class WebWindow final : public Window {
public:
    WebWindow(WebServices& services, int id, std::string name, std::string caption,
              int innerWidthTwips, int innerHeightTwips);
    ~WebWindow() override;
    const std::string& name() const override { return name_; }
    std::string caption() const override { return caption_; }
    int left() const override { return left_; }
    void setLeft(int twips) override;
    int top() const override { return top_; }
    void setTop(int twips) override;
    int outerWidth() const override { return outerWidth_; }
    void setOuterWidth(int twips) override;
    int outerHeight() const override { return outerHeight_; }
    void setOuterHeight(int twips) override;
    void setScaleModePixels() override {}
    int innerWidth() const override;
    int innerHeight() const override;
    bool isVisible() const override { return visible_; }
    void show() override;
    void erase() override;
    void setPixel(float x, float y, Rgb color) override;
    TextBox& addTextBox(const ControlDesign& design) override;
    Label& addLabel(const ControlDesign& design) override;
    Button& addButton(const ControlDesign& design) override;
    void onCloseRequest(Handler handler) override { onClose_ = std::move(handler); }

    void requestClose() { Raise(onClose_); }
    void paint(); // to the page, if anything changed
    const ControlList& controls() const { return controls_; }

private:
    void fitPixels();
    WebServices& services_;
    int id_;
    std::string name_, caption_;
    int left_ = 0, top_ = 0, outerWidth_ = 0, outerHeight_ = 0; // twips
    bool visible_ = false;
    bool geometryChanged_ = true, pixelsChanged_ = true;
    int pixelWidth_ = 0, pixelHeight_ = 0;
    std::vector<std::uint8_t> rgba_; // the drawing area, 4 bytes a pixel, row by row
    ControlList controls_;
    std::vector<WebPagePart*> parts_; // the same controls, as the page sees them
    Handler onClose_;
};

// What every control on the page shares: its id, design, place in pixels and visibility,
// and whether the page shows them as they are.
template <typename Interface>
class WebControl : public Interface, public WebPagePart {
public:
    const std::string& name() const override { return design_.name; }
    int left() const override { return left_; }
    void setLeft(int px) override { left_ = px; placeChanged_ = true; }
    int top() const override { return top_; }
    void setTop(int px) override { top_ = px; placeChanged_ = true; }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; placeChanged_ = true; }
    int id() const { return id_; }

protected:
    WebControl(int id, const ControlDesign& design)
        : id_(id), design_(design)
        , left_(design.left / WebServices::kTwipsPerPixel)
        , top_(design.top / WebServices::kTwipsPerPixel)
    {
    }
    // The place and visibility on the page, if they changed.
    void paintPlace()
    {
        if (!placeChanged_)
            return;
        placeChanged_ = false;
        gravlag_dom_control_place(id_, left_, top_, visible_ ? 1 : 0);
    }

private:
    int id_;
    ControlDesign design_;
    int left_, top_;
    bool visible_ = true, placeChanged_ = false;
};

class WebTextBox final : public WebControl<TextBox> {
public:
    WebTextBox(WebServices& services, int id, const ControlDesign& design);
    std::string text() const override { return text_; }
    void setText(std::string_view text) override;
    void setTextColor(Rgb color) override { textColor_ = color; colorsChanged_ = true; }
    void setBackgroundColor(Rgb color) override { background_ = color; colorsChanged_ = true; }
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    void onChange(Handler handler) override { onChange_ = std::move(handler); }
    void click() override { Raise(onClick_); }
    void type(std::string_view text) override { setText(text); } // the person's new text
    void paint() override;

private:
    WebServices& services_;
    std::string text_;
    Rgb textColor_{0, 0, 0}, background_{255, 255, 255};
    bool textChanged_ = true, colorsChanged_ = false;
    Handler onClick_, onChange_;
};

class WebButton final : public WebControl<Button> {
public:
    WebButton(int id, const ControlDesign& design);
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override;
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    void click() override { Raise(onClick_); }
    void paint() override;

private:
    std::string caption_;
    bool captionChanged_ = true;
    Handler onClick_;
};

class WebLabel final : public WebControl<Label> {
public:
    WebLabel(int id, const ControlDesign& design);
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override;
    void paint() override;

private:
    std::string caption_;
    bool captionChanged_ = true;
};

} // namespace gravlag::ui
