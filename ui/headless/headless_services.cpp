#include "ui/headless/headless_services.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <utility>

namespace gravlag::ui {

namespace {

constexpr int kTwips = HeadlessServices::kTwipsPerPixel;
constexpr int kFrameWidth = HeadlessServices::kFrameLeft + HeadlessServices::kFrameRight;
constexpr int kFrameHeight = HeadlessServices::kFrameTop + HeadlessServices::kFrameBottom;

// Change handlers may set texts again, of their own box or of others; the nesting depth is
// counted over all boxes so that two boxes feeding each other are caught as well. Per thread:
// the windows of one program live on one thread, and independent programs (a sweep's
// points) may run side by side.
thread_local int changeDepth = 0;
thread_local std::size_t changeLimitHits = 0;

int InnerPixels(int outerTwips, int framePixels)
{
    return std::max(0, outerTwips / kTwips - framePixels);
}

// Runs a handler from a copy, so that a handler that installs another one (or itself again)
// does not destroy the function object it is running in.
void Raise(const Handler& handler)
{
    if (handler) {
        Handler running = handler;
        running();
    }
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Services

HeadlessServices::HeadlessServices(RegionalFormat format)
    : format_(std::move(format))
{
}

HeadlessServices::~HeadlessServices() = default;

Window& HeadlessServices::createWindow(std::string_view name, std::string_view caption,
                                       int innerWidthTwips, int innerHeightTwips)
{
    if (window(name))
        throw std::invalid_argument("window already exists: " + std::string(name));
    windows_.push_back(std::make_unique<HeadlessWindow>(std::string(name), std::string(caption),
                                                        innerWidthTwips, innerHeightTwips));
    return *windows_.back();
}

void HeadlessServices::processPendingEvents()
{
    ++handOvers_;
    if (ended_)
        return;
    if (idleHook_) {
        auto hook = idleHook_;
        hook();
    }
    // An event may hand over again itself (a click that starts a run does): each event leaves
    // the queue before it runs, so a nested call goes on with the ones after it.
    while (!ended_ && !queue_.empty()) {
        auto event = std::move(queue_.front());
        queue_.pop_front();
        event();
    }
}

void HeadlessServices::endProgram()
{
    ended_ = true;
    queue_.clear();
}

HeadlessWindow* HeadlessServices::window(std::string_view name)
{
    for (auto& w : windows_) {
        if (w->name() == name)
            return w.get();
    }
    return nullptr;
}

namespace {

template <typename Kind>
Kind* FindControl(const std::vector<std::unique_ptr<HeadlessWindow>>& windows, std::string_view name)
{
    for (const auto& w : windows) {
        for (const auto& control : w->controls()) {
            if (control->name() == name) {
                if (auto* found = dynamic_cast<Kind*>(control.get()))
                    return found;
            }
        }
    }
    return nullptr;
}

} // namespace

HeadlessTextBox* HeadlessServices::textBox(std::string_view name)
{
    return FindControl<HeadlessTextBox>(windows_, name);
}

HeadlessButton* HeadlessServices::button(std::string_view name)
{
    return FindControl<HeadlessButton>(windows_, name);
}

HeadlessLabel* HeadlessServices::label(std::string_view name)
{
    return FindControl<HeadlessLabel>(windows_, name);
}

void HeadlessServices::queueClick(std::string_view controlName)
{
    if (auto* box = textBox(controlName)) {
        queue([box] { box->click(); });
        return;
    }
    if (auto* b = button(controlName)) {
        queue([b] { b->click(); });
        return;
    }
    throw std::invalid_argument("no text box or button named " + std::string(controlName));
}

void HeadlessServices::queueTyping(std::string_view textBoxName, std::string_view text)
{
    auto* box = textBox(textBoxName);
    if (!box)
        throw std::invalid_argument("no text box named " + std::string(textBoxName));
    queue([box, typed = std::string(text)] { box->type(typed); });
}

void HeadlessServices::queueCloseRequest(std::string_view windowName)
{
    auto* w = window(windowName);
    if (!w)
        throw std::invalid_argument("no window named " + std::string(windowName));
    queue([w] { w->requestClose(); });
}

void HeadlessServices::queue(std::function<void()> event)
{
    if (ended_ || !event)
        return; // nothing runs after the end
    queue_.push_back(std::move(event));
}

// ---------------------------------------------------------------------------------------------
// Window

HeadlessWindow::HeadlessWindow(std::string name, std::string caption, int innerWidthTwips,
                               int innerHeightTwips)
    : name_(std::move(name))
    , caption_(std::move(caption))
    , outerWidth_(innerWidthTwips + kFrameWidth * kTwips)
    , outerHeight_(innerHeightTwips + kFrameHeight * kTwips)
{
}

HeadlessWindow::~HeadlessWindow() = default;

void HeadlessWindow::setOuterWidth(int twips)
{
    outerWidth_ = twips;
    surfaceFitted_ = false;
}

void HeadlessWindow::setOuterHeight(int twips)
{
    outerHeight_ = twips;
    surfaceFitted_ = false;
}

const Surface& HeadlessWindow::surface() const
{
    fitSurface();
    return surface_;
}

int HeadlessWindow::innerWidth() const
{
    if (visible_)
        fitSurface();
    return InnerPixels(outerWidth_, kFrameWidth);
}

int HeadlessWindow::innerHeight() const
{
    if (visible_)
        fitSurface();
    return InnerPixels(outerHeight_, kFrameHeight);
}

void HeadlessWindow::fitSurface() const
{
    if (surfaceFitted_)
        return;
    surfaceFitted_ = true;
    const int width = InnerPixels(outerWidth_, kFrameWidth);
    const int height = InnerPixels(outerHeight_, kFrameHeight);
    if (width == surface_.width && height == surface_.height)
        return;
    Surface resized;
    resized.width = width;
    resized.height = height;
    resized.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height),
                          kBackground);
    const int keepWidth = std::min(width, surface_.width);
    const int keepHeight = std::min(height, surface_.height);
    for (int y = 0; y < keepHeight; ++y) {
        const auto from = surface_.pixels.begin()
            + static_cast<std::ptrdiff_t>(y) * surface_.width;
        const auto to = resized.pixels.begin() + static_cast<std::ptrdiff_t>(y) * width;
        std::copy(from, from + keepWidth, to);
    }
    surface_ = std::move(resized);
}

void HeadlessWindow::erase()
{
    fitSurface();
    std::fill(surface_.pixels.begin(), surface_.pixels.end(), kBackground);
}

void HeadlessWindow::setPixel(float x, float y, Rgb color)
{
    ++pixelCalls_;
    fitSurface();
    const int px = DevicePixel(x);
    const int py = DevicePixel(y);
    if (px < 0 || py < 0 || px >= surface_.width || py >= surface_.height)
        return;
    surface_.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(surface_.width)
                    + static_cast<std::size_t>(px)]
        = color;
}

namespace {

void RequireNewName(const std::vector<std::unique_ptr<Control>>& controls, const std::string& name)
{
    for (const auto& control : controls) {
        if (control->name() == name)
            throw std::invalid_argument("control already exists: " + name);
    }
}

} // namespace

TextBox& HeadlessWindow::addTextBox(const ControlDesign& design)
{
    RequireNewName(controls_, design.name);
    auto box = std::make_unique<HeadlessTextBox>(design);
    auto& added = *box;
    controls_.push_back(std::move(box));
    return added;
}

Label& HeadlessWindow::addLabel(const ControlDesign& design)
{
    RequireNewName(controls_, design.name);
    auto label = std::make_unique<HeadlessLabel>(design);
    auto& added = *label;
    controls_.push_back(std::move(label));
    return added;
}

Button& HeadlessWindow::addButton(const ControlDesign& design)
{
    RequireNewName(controls_, design.name);
    auto button = std::make_unique<HeadlessButton>(design);
    auto& added = *button;
    controls_.push_back(std::move(button));
    return added;
}

void HeadlessWindow::requestClose()
{
    Raise(onClose_);
}

// ---------------------------------------------------------------------------------------------
// Controls

HeadlessTextBox::HeadlessTextBox(const ControlDesign& design)
    : design_(design)
    , text_(design.text)
    , left_(design.left / kTwips)
    , top_(design.top / kTwips)
{
    // Room for any number text the program writes, so that a run's updates never allocate.
    text_.reserve(NumberText::kCapacity);
}

void HeadlessTextBox::setText(std::string_view text)
{
    if (text == text_)
        return;
    text_ = text;
    if (!onChange_)
        return;
    if (changeDepth >= kMaxChangeDepth) {
        // A handler that keeps changing texts without end: the text is kept, the chain is cut.
        ++changeLimitHits;
        std::fputs("gravlag: change handlers nested too deeply; chain cut\n", stderr);
        return;
    }
    ++changeDepth;
    try {
        Raise(onChange_);
    } catch (...) {
        --changeDepth;
        throw;
    }
    --changeDepth;
}

void HeadlessTextBox::click()
{
    Raise(onClick_);
}

std::size_t HeadlessTextBox::changeDepthLimitHits()
{
    return changeLimitHits;
}

HeadlessButton::HeadlessButton(const ControlDesign& design)
    : design_(design)
    , caption_(design.text)
    , left_(design.left / kTwips)
    , top_(design.top / kTwips)
{
}

void HeadlessButton::click()
{
    Raise(onClick_);
}

HeadlessLabel::HeadlessLabel(const ControlDesign& design)
    : design_(design)
    , caption_(design.text)
    , left_(design.left / kTwips)
    , top_(design.top / kTwips)
{
}

} // namespace gravlag::ui
