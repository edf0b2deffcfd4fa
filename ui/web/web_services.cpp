#include "ui/web/web_services.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

namespace gravlag::ui {

namespace {

constexpr int kTwips = WebServices::kTwipsPerPixel;
constexpr int kFrameWidth = WebServices::kFrameLeft + WebServices::kFrameRight;
constexpr int kFrameHeight = WebServices::kFrameTop + WebServices::kFrameBottom;

int InnerPixels(int outerTwips, int framePixels)
{
    return std::max(0, outerTwips / kTwips - framePixels);
}

int Packed(Rgb c) { return (c.r << 16) | (c.g << 8) | c.b; }

void SendText(int control, std::string_view text)
{
    gravlag_dom_control_text(control, text.data(), static_cast<int>(text.size()));
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Services

WebServices::WebServices(Place place)
    : onPage_(place == Place::Page), lastBrowserTurn_(gravlag_dom_now())
{
}

WebServices::~WebServices() = default;

Window& WebServices::createWindow(std::string_view name, std::string_view caption,
                                  int innerWidthTwips, int innerHeightTwips)
{
    if (window(name))
        throw std::invalid_argument("window already exists: " + std::string(name));
    const int id = static_cast<int>(windows_.size());
    windows_.push_back(std::make_unique<WebWindow>(*this, id, std::string(name),
                                                   std::string(caption), innerWidthTwips,
                                                   innerHeightTwips));
    return *windows_.back();
}

WebWindow* WebServices::window(std::string_view name)
{
    for (auto& w : windows_)
        if (w->name() == name)
            return w.get();
    return nullptr;
}

void WebServices::registerControl(int id, WebPagePart& control)
{
    if (static_cast<std::size_t>(id) >= controlsById_.size())
        controlsById_.resize(static_cast<std::size_t>(id) + 1, nullptr);
    controlsById_[static_cast<std::size_t>(id)] = &control;
}

// During a run the set-up hands over too, just after the click that started the run: the
// browser has just run, so that hand-over waits for the run's next frame like the others.
void WebServices::processPendingEvents()
{
    if (running_)
        processPendingInput();
    else
        handOver(false);
}

// Input reaches the program only while the browser runs, so a hand-over that does not let
// it run has nothing to take: it costs a look at the clock.
void WebServices::processPendingInput()
{
    handOver(gravlag_dom_now() - lastBrowserTurn_ >= runTurnMs_);
}

void WebServices::handOver(bool letBrowserRun)
{
    if (ended_ || !onPage_)
        return;
    if (letBrowserRun) {
        paint();
        const double handedOver = gravlag_dom_now();
        gravlag_dom_yield();
        lastBrowserTurn_ = gravlag_dom_now();
        runTurnMs_ = std::clamp(lastBrowserTurn_ - handedOver, kFrameMs, kLongestTurnMs);
    }
    runQueuedInput();
}

// Each event leaves the page's queue before it runs, so one that hands over again (a click
// that starts a run) goes on with the ones after it.
void WebServices::runQueuedInput()
{
    while (!ended_) {
        const int kind = gravlag_dom_next_event();
        if (kind == 0)
            return;
        const int subject = gravlag_dom_event_subject();
        if (kind == 3) {
            if (subject >= 0 && static_cast<std::size_t>(subject) < windows_.size())
                windows_[static_cast<std::size_t>(subject)]->requestClose();
            continue;
        }
        if (subject < 0 || static_cast<std::size_t>(subject) >= controlsById_.size()
            || !controlsById_[static_cast<std::size_t>(subject)])
            continue;
        WebPagePart& control = *controlsById_[static_cast<std::size_t>(subject)];
        if (kind == 1) {
            control.click();
        } else if (kind == 2) {
            std::string text(static_cast<std::size_t>(gravlag_dom_event_text_length()), '\0');
            gravlag_dom_event_text(text.data(), static_cast<int>(text.size()) + 1);
            control.type(text);
        }
    }
}

void WebServices::endProgram()
{
    ended_ = true;
    if (onPage_)
        gravlag_dom_program_ended();
}

void WebServices::setRunning(bool running)
{
    running_ = running;
    if (running) {
        lastBrowserTurn_ = gravlag_dom_now();
        runTurnMs_ = kFirstTurnMs;
    } else {
        paint(); // everything shown as it stands
    }
}

void WebServices::paint()
{
    for (auto& w : windows_)
        w->paint();
}

// ---------------------------------------------------------------------------------------------
// Window

WebWindow::WebWindow(WebServices& services, int id, std::string name, std::string caption,
                     int innerWidthTwips, int innerHeightTwips)
    : services_(services)
    , id_(id)
    , name_(std::move(name))
    , caption_(std::move(caption))
    , outerWidth_(innerWidthTwips + kFrameWidth * kTwips)
    , outerHeight_(innerHeightTwips + kFrameHeight * kTwips)
{
    if (services_.onPage())
        gravlag_dom_window(id_, name_.data(), static_cast<int>(name_.size()), caption_.data(),
                           static_cast<int>(caption_.size()));
    fitPixels();
}

WebWindow::~WebWindow() = default;

void WebWindow::setLeft(int twips) { left_ = twips; geometryChanged_ = true; }
void WebWindow::setTop(int twips) { top_ = twips; geometryChanged_ = true; }

void WebWindow::setOuterWidth(int twips)
{
    outerWidth_ = twips;
    fitPixels();
}

void WebWindow::setOuterHeight(int twips)
{
    outerHeight_ = twips;
    fitPixels();
}

int WebWindow::innerWidth() const { return InnerPixels(outerWidth_, kFrameWidth); }
int WebWindow::innerHeight() const { return InnerPixels(outerHeight_, kFrameHeight); }

// The drawing area follows the inner size, keeping what overlaps, as the in-memory window's.
void WebWindow::fitPixels()
{
    geometryChanged_ = true;
    const int width = innerWidth(), height = innerHeight();
    if (width == pixelWidth_ && height == pixelHeight_)
        return;
    std::vector<std::uint8_t> resized(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4, 255);
    for (int y = 0; y < std::min(height, pixelHeight_); ++y)
        std::memcpy(resized.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 4,
                    rgba_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(pixelWidth_) * 4,
                    static_cast<std::size_t>(std::min(width, pixelWidth_)) * 4);
    rgba_ = std::move(resized);
    pixelWidth_ = width;
    pixelHeight_ = height;
    pixelsChanged_ = true;
}

void WebWindow::show()
{
    if (!visible_)
        geometryChanged_ = true;
    visible_ = true;
}

void WebWindow::erase()
{
    for (std::size_t i = 0; i < rgba_.size(); i += 4) {
        rgba_[i] = kBackground.r;
        rgba_[i + 1] = kBackground.g;
        rgba_[i + 2] = kBackground.b;
        rgba_[i + 3] = 255;
    }
    pixelsChanged_ = true;
}

void WebWindow::setPixel(float x, float y, Rgb color)
{
    const int px = DevicePixel(x), py = DevicePixel(y);
    if (px < 0 || py < 0 || px >= pixelWidth_ || py >= pixelHeight_)
        return;
    std::uint8_t* p = rgba_.data() + (static_cast<std::size_t>(py) * static_cast<std::size_t>(pixelWidth_) + static_cast<std::size_t>(px)) * 4;
    p[0] = color.r;
    p[1] = color.g;
    p[2] = color.b;
    pixelsChanged_ = true;
}

TextBox& WebWindow::addTextBox(const ControlDesign& design)
{
    return AddControl(controls_, design.name, [&] {
        const int id = services_.newControlId();
        if (services_.onPage())
            gravlag_dom_control(id_, id, 0, design.name.data(), static_cast<int>(design.name.size()),
                                design.left / kTwips, design.top / kTwips, design.width / kTwips,
                                design.height / kTwips, design.tabIndex);
        auto box = std::make_unique<WebTextBox>(services_, id, design);
        services_.registerControl(id, *box);
        parts_.push_back(box.get());
        return box;
    });
}

Label& WebWindow::addLabel(const ControlDesign& design)
{
    return AddControl(controls_, design.name, [&] {
        const int id = services_.newControlId();
        if (services_.onPage())
            gravlag_dom_control(id_, id, 1, design.name.data(), static_cast<int>(design.name.size()),
                                design.left / kTwips, design.top / kTwips, design.width / kTwips,
                                design.height / kTwips, design.tabIndex);
        auto label = std::make_unique<WebLabel>(id, design);
        services_.registerControl(id, *label);
        parts_.push_back(label.get());
        return label;
    });
}

Button& WebWindow::addButton(const ControlDesign& design)
{
    return AddControl(controls_, design.name, [&] {
        const int id = services_.newControlId();
        if (services_.onPage())
            gravlag_dom_control(id_, id, 2, design.name.data(), static_cast<int>(design.name.size()),
                                design.left / kTwips, design.top / kTwips, design.width / kTwips,
                                design.height / kTwips, design.tabIndex);
        auto button = std::make_unique<WebButton>(id, design);
        services_.registerControl(id, *button);
        parts_.push_back(button.get());
        return button;
    });
}

void WebWindow::paint()
{
    if (!services_.onPage())
        return;
    if (geometryChanged_) {
        geometryChanged_ = false;
        gravlag_dom_window_geometry(id_, left_ / kTwips, top_ / kTwips, pixelWidth_, pixelHeight_);
        gravlag_dom_window_visible(id_, visible_ ? 1 : 0);
        pixelsChanged_ = true;
    }
    if (pixelsChanged_ && visible_) {
        pixelsChanged_ = false;
        gravlag_dom_paint(id_, rgba_.data(), pixelWidth_, pixelHeight_);
    }
    for (WebPagePart* part : parts_)
        part->paint();
}

// ---------------------------------------------------------------------------------------------
// Controls

WebTextBox::WebTextBox(WebServices& services, int id, const ControlDesign& design)
    : WebControl(id, design), services_(services), text_(design.text)
{
    // Room for any number text the program writes, so that a run's updates never allocate.
    text_.reserve(NumberText::kCapacity);
}

void WebTextBox::setText(std::string_view text)
{
    if (text == text_)
        return;
    text_ = text;
    textChanged_ = true;
    RaiseChange(onChange_, services_);
}

void WebTextBox::paint()
{
    paintPlace();
    if (textChanged_) {
        textChanged_ = false;
        SendText(id(), text_);
    }
    if (colorsChanged_) {
        colorsChanged_ = false;
        gravlag_dom_control_colors(id(), Packed(textColor_), Packed(background_));
    }
}

WebButton::WebButton(int id, const ControlDesign& design)
    : WebControl(id, design), caption_(design.text)
{
}

void WebButton::setCaption(std::string_view caption)
{
    if (caption != caption_)
        captionChanged_ = true;
    caption_ = caption;
}

void WebButton::paint()
{
    paintPlace();
    if (captionChanged_) {
        captionChanged_ = false;
        SendText(id(), caption_);
    }
}

WebLabel::WebLabel(int id, const ControlDesign& design)
    : WebControl(id, design), caption_(design.text)
{
}

void WebLabel::setCaption(std::string_view caption)
{
    if (caption != caption_)
        captionChanged_ = true;
    caption_ = caption;
}

void WebLabel::paint()
{
    paintPlace();
    if (captionChanged_) {
        captionChanged_ = false;
        SendText(id(), caption_);
    }
}

} // namespace gravlag::ui
