#include "ui/headless/headless_services.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace gravlag::ui {

namespace {

constexpr int kTwips = HeadlessServices::kTwipsPerPixel;
constexpr int kFrameWidth = HeadlessServices::kFrameLeft + HeadlessServices::kFrameRight;
constexpr int kFrameHeight = HeadlessServices::kFrameTop + HeadlessServices::kFrameBottom;

int InnerPixels(int outerTwips, int framePixels)
{
    return std::max(0, outerTwips / kTwips - framePixels);
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
    windows_.push_back(std::make_unique<HeadlessWindow>(*this, std::string(name),
                                                        std::string(caption), innerWidthTwips,
                                                        innerHeightTwips));
    return *windows_.back();
}

void HeadlessServices::processPendingEvents()
{
    ++handOvers_;
    if (ended_)
        return;
    if (idleHook_) {
        const auto hook = idleHook_; // a hook that replaces itself lives until it returns
        (*hook)();
    }
    // An event may hand over again itself (a click that starts a run does): each event leaves
    // the queue before it runs, so a nested call goes on with the ones after it.
    while (!ended_ && !queue_.empty()) {
        auto event = std::move(queue_.front());
        queue_.pop_front();
        event();
    }
}

void HeadlessServices::setIdleHook(std::function<void()> hook)
{
    idleHook_ = hook ? std::make_shared<const std::function<void()>>(std::move(hook)) : nullptr;
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
Kind* FindInWindows(const std::vector<std::unique_ptr<HeadlessWindow>>& windows,
                    std::string_view name)
{
    for (const auto& w : windows)
        if (auto* found = FindControl<Kind>(w->controls(), name))
            return found;
    return nullptr;
}

} // namespace

HeadlessTextBox* HeadlessServices::textBox(std::string_view name)
{
    return FindInWindows<HeadlessTextBox>(windows_, name);
}

HeadlessButton* HeadlessServices::button(std::string_view name)
{
    return FindInWindows<HeadlessButton>(windows_, name);
}

HeadlessLabel* HeadlessServices::label(std::string_view name)
{
    return FindInWindows<HeadlessLabel>(windows_, name);
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

HeadlessWindow::HeadlessWindow(WindowServices& services, std::string name, std::string caption,
                               int innerWidthTwips, int innerHeightTwips)
    : services_(services)
    , name_(std::move(name))
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
    if (!surfaceCurrent_) {
        paper_.writeTo(surface_);
        surfaceCurrent_ = true;
    }
    return surface_;
}

PixelPaper HeadlessWindow::takePaper()
{
    fitSurface(); // at the window's present size
    PixelPaper taken = std::move(paper_);
    surface_ = Surface{};
    surfaceFitted_ = false; // a blank paper again when next drawn on or read
    surfaceCurrent_ = false;
    return taken;
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

void HeadlessWindow::leaveUnread()
{
    unread_ = true;
    paper_ = PixelPaper{};
    surface_ = Surface{};
    surfaceFitted_ = true;
    surfaceCurrent_ = true;
}

void HeadlessWindow::fitSurface() const
{
    if (surfaceFitted_ || unread_)
        return;
    surfaceFitted_ = true;
    const int width = InnerPixels(outerWidth_, kFrameWidth);
    const int height = InnerPixels(outerHeight_, kFrameHeight);
    if (width == paper_.width() && height == paper_.height())
        return;
    PixelPaper resized(width, height);
    resized.copyOverlap(paper_);
    paper_ = std::move(resized);
    surfaceCurrent_ = false;
}

void HeadlessWindow::erase()
{
    fitSurface();
    if (!paper_.inked())
        return;
    paper_.clear();
    surfaceCurrent_ = false;
}

void HeadlessWindow::setPixel(float x, float y, Rgb color)
{
    ++pixelCalls_;
    if (unread_)
        return;
    fitSurface();
    const int px = DevicePixel(x);
    const int py = DevicePixel(y);
    if (px < 0 || py < 0 || px >= paper_.width() || py >= paper_.height())
        return;
    paper_.set(px, py, color);
    surfaceCurrent_ = false;
}

TextBox& HeadlessWindow::addTextBox(const ControlDesign& design)
{
    return AddControl(controls_, design.name,
                      [&] { return std::make_unique<HeadlessTextBox>(services_, design); });
}

Label& HeadlessWindow::addLabel(const ControlDesign& design)
{
    return AddControl(controls_, design.name,
                      [&] { return std::make_unique<HeadlessLabel>(design); });
}

Button& HeadlessWindow::addButton(const ControlDesign& design)
{
    return AddControl(controls_, design.name,
                      [&] { return std::make_unique<HeadlessButton>(design); });
}

void HeadlessWindow::requestClose()
{
    Raise(onClose_);
}

// ---------------------------------------------------------------------------------------------
// Controls

HeadlessTextBox::HeadlessTextBox(WindowServices& services, const ControlDesign& design)
    : HeadlessControl(design)
    , services_(services)
    , text_(design.text)
{
    // Room for any number text the program writes, so that a run's updates never allocate.
    text_.reserve(NumberText::kCapacity);
}

void HeadlessTextBox::setText(std::string_view text)
{
    if (text == text_)
        return;
    text_ = text;
    RaiseChange(onChange_, services_);
}

void HeadlessTextBox::click()
{
    Raise(onClick_);
}

HeadlessButton::HeadlessButton(const ControlDesign& design)
    : HeadlessControl(design)
    , caption_(design.text)
{
}

void HeadlessButton::click()
{
    Raise(onClick_);
}

HeadlessLabel::HeadlessLabel(const ControlDesign& design)
    : HeadlessControl(design)
    , caption_(design.text)
{
}

HeadlessWindow& Headless(Window& window)
{
    return dynamic_cast<HeadlessWindow&>(window);
}

HeadlessTextBox& Headless(TextBox& box)
{
    return dynamic_cast<HeadlessTextBox&>(box);
}

HeadlessButton& Headless(Button& button)
{
    return dynamic_cast<HeadlessButton&>(button);
}

HeadlessLabel& Headless(Label& label)
{
    return dynamic_cast<HeadlessLabel&>(label);
}

} // namespace gravlag::ui
