#pragma once
// Window services in memory: boxes, captions and pixel surfaces without a display.
// Used by the tests and by the batch runner. Clicks and typing are queued as a person's
// input would be and run by processPendingEvents(), exactly where the program hands control
// to the event system (a run's processPendingInput hands over in full here); tests may also
// raise them directly.

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ui/control_lookup.h"
#include "ui/headless/pixel_paper.h"
#include "ui/raise.h"
#include "ui/surface.h"
#include "ui/window_services.h"

namespace gravlag::ui {

class HeadlessWindow;
class HeadlessTextBox;
class HeadlessButton;
class HeadlessLabel;

class HeadlessServices final : public WindowServices {
public:
    // Non-client frame of every window, in pixels: added to the inner size to give the
    // outer size (a border on left, right and bottom, a caption bar on top).
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kFrameLeft = 4, kFrameRight = 4, kFrameTop = 26, kFrameBottom = 4;

    explicit HeadlessServices(RegionalFormat format = {});
    ~HeadlessServices() override;

    Window& createWindow(std::string_view name, std::string_view caption,
                         int innerWidthTwips, int innerHeightTwips) override;
    void processPendingEvents() override;
    void endProgram() override;
    RegionalFormat regionalFormat() const override { return format_; }
    void setRegionalFormat(RegionalFormat format) { format_ = std::move(format); }

    // Lookup by name, for names from outside the program (tests, a driver): windows "Form1"..;
    // controls "Tmass(0)", "CommandEnd", ... by the rule of control_lookup.h, window by
    // window in the order they were created.
    HeadlessWindow* window(std::string_view name);
    HeadlessTextBox* textBox(std::string_view name);
    HeadlessButton* button(std::string_view name);
    HeadlessLabel* label(std::string_view name);

    // A person's input, queued until the next processPendingEvents().
    void queueClick(std::string_view controlName);
    void queueTyping(std::string_view textBoxName, std::string_view text); // replaces the text
    void queueCloseRequest(std::string_view windowName);
    void queue(std::function<void()> event);
    std::size_t pendingEvents() const { return queue_.size(); }

    // Called at the start of every processPendingEvents(), before the queue is run: lets a
    // driver (the batch runner, a test) look at the panel and queue input at that moment.
    // A hook that replaces itself goes on to its end: the one replaced lives until it returns.
    void setIdleHook(std::function<void()> hook);
    std::size_t eventHandOvers() const { return handOvers_; }

    bool programEnded() const { return ended_; }

private:
    RegionalFormat format_;
    std::vector<std::unique_ptr<HeadlessWindow>> windows_;
    std::deque<std::function<void()>> queue_;
    // Shared, not copied, at each hand-over (a copy of its captures, memory and all, on every
    // display update of a batch run).
    std::shared_ptr<const std::function<void()>> idleHook_;
    std::size_t handOvers_ = 0;
    bool ended_ = false;
};

class HeadlessWindow final : public Window {
public:
    HeadlessWindow(WindowServices& services, std::string name, std::string caption,
                   int innerWidthTwips, int innerHeightTwips);
    ~HeadlessWindow() override;
    const std::string& name() const override { return name_; }
    std::string caption() const override { return caption_; }
    int left() const override { return left_; }
    void setLeft(int twips) override { left_ = twips; }
    int top() const override { return top_; }
    void setTop(int twips) override { top_ = twips; }
    int outerWidth() const override { return outerWidth_; }
    void setOuterWidth(int twips) override;
    int outerHeight() const override { return outerHeight_; }
    void setOuterHeight(int twips) override;
    void setScaleModePixels() override { pixelScale_ = true; }
    bool pixelScaleMode() const { return pixelScale_; }
    int innerWidth() const override;
    int innerHeight() const override;
    bool isVisible() const override { return visible_; }
    void show() override { visible_ = true; }
    void erase() override;
    void setPixel(float x, float y, Rgb color) override;
    TextBox& addTextBox(const ControlDesign& design) override;
    Label& addLabel(const ControlDesign& design) override;
    Button& addButton(const ControlDesign& design) override;
    void onCloseRequest(Handler handler) override { onClose_ = std::move(handler); }

    const Surface& surface() const;
    // The drawing area handed over as drawn, the window left blank: a picture kept after the
    // window goes, made into pixels only if it is read (PixelPaper::writeTo).
    PixelPaper takePaper();
    std::size_t setPixelCalls() const { return pixelCalls_; }
    // For a window whose pixels nobody will read (a batch run writing no picture of it):
    // drawing on it from now on only counts its calls, and it keeps no paper, so a run
    // spends neither the drawing nor the memory's first touches. Its surface is then empty
    // (0 by 0), never a blank picture that could pass for a drawn one.
    void leaveUnread();
    void requestClose(); // as the person closing it through its frame
    const ControlList& controls() const { return controls_; }

private:
    // The paper follows the inner size, keeping what overlaps. It is fitted when it is
    // drawn on or read, or when the inner size of a shown window is read, not at each change
    // of the size: a run's set-up resizes a display twice. The run's set-up reads the inner
    // sizes of the shown displays it will draw on, so its passes allocate nothing. The
    // surface is made from the paper when it is read after a change.
    void fitSurface() const;
    WindowServices& services_;
    std::string name_, caption_;
    int left_ = 0, top_ = 0, outerWidth_ = 0, outerHeight_ = 0;
    bool pixelScale_ = false, visible_ = false;
    mutable PixelPaper paper_;
    mutable bool surfaceFitted_ = false;
    mutable Surface surface_;
    mutable bool surfaceCurrent_ = true; // surface_ shows paper_
    bool unread_ = false;
    std::size_t pixelCalls_ = 0;
    ControlList controls_;
    Handler onClose_;
};

// What every in-memory control shares: its design, position in pixels and its own visibility
// flag; like QtControl on the Qt side.
template <typename Interface>
class HeadlessControl : public Interface {
public:
    const std::string& name() const override { return design_.name; }
    int left() const override { return left_; }
    void setLeft(int px) override { left_ = px; }
    int top() const override { return top_; }
    void setTop(int px) override { top_ = px; }
    bool isVisible() const override { return visible_; }
    void setVisible(bool visible) override { visible_ = visible; }
    const ControlDesign& design() const { return design_; }

protected:
    explicit HeadlessControl(const ControlDesign& design)
        : design_(design)
        , left_(design.left / HeadlessServices::kTwipsPerPixel)
        , top_(design.top / HeadlessServices::kTwipsPerPixel)
    {
    }

private:
    ControlDesign design_;
    int left_, top_;
    bool visible_ = true;
};

class HeadlessTextBox final : public HeadlessControl<TextBox> {
public:
    HeadlessTextBox(WindowServices& services, const ControlDesign& design);
    std::string text() const override { return text_; }
    void setText(std::string_view text) override;
    void setTextColor(Rgb color) override { textColor_ = color; colored_ = true; }
    void setBackgroundColor(Rgb color) override { background_ = color; colored_ = true; }
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    void onChange(Handler handler) override { onChange_ = std::move(handler); }

    void click();
    void type(std::string_view text) { setText(text); } // a person replacing the text
    // Change handlers nested deeper than this (over all boxes of the thread) are not entered;
    // the text is still set, and the cut is reported through the services.
    static constexpr int kMaxChangeDepth = ChangeDepthGuard::kMaxDepth;
    static std::size_t changeDepthLimitHits() { return ChangeDepthGuard::limitHits(); }
    Rgb textColor() const { return textColor_; }
    Rgb backgroundColor() const { return background_; }
    bool colorsSet() const { return colored_; } // false while the box has its default colours

private:
    WindowServices& services_;
    std::string text_;
    Rgb textColor_{0, 0, 0}, background_{255, 255, 255};
    bool colored_ = false;
    Handler onClick_, onChange_;
};

class HeadlessButton final : public HeadlessControl<Button> {
public:
    explicit HeadlessButton(const ControlDesign& design);
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    void click();

private:
    std::string caption_;
    Handler onClick_;
};

class HeadlessLabel final : public HeadlessControl<Label> {
public:
    explicit HeadlessLabel(const ControlDesign& design);
    std::string caption() const override { return caption_; }
    void setCaption(std::string_view caption) override { caption_ = caption; }

private:
    std::string caption_;
};

// The in-memory control or window behind one of the program's own (a driver holding the
// program's typed controls acts on them as a person would). Throws std::bad_cast for one of
// another implementation.
HeadlessWindow& Headless(Window& window);
HeadlessTextBox& Headless(TextBox& box);
HeadlessButton& Headless(Button& button);
HeadlessLabel& Headless(Label& label);

} // namespace gravlag::ui
