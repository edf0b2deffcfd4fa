#pragma once
// A text box on QLineEdit. Its change event comes from textChanged, which Qt emits for typed
// and for programmatic changes alike, synchronously, so a change is handled before setText
// returns and a handler that sets the text again is entered again. Clicks (a press and a
// release inside the box) are taken from the box's mouse events: the panel uses text boxes
// as selectors. During a run the widget may show a text the program set up to a frame late
// (see paint_pacer.h); text() always gives the text as set. A text the program sets shows its
// beginning; one longer than the box has itself as the tooltip. Change handlers nest as
// raise.h says, the same rule as in the in-memory boxes.

#include <memory>
#include <string>

#include <QLineEdit>

#include "ui/qt/qt_control.h"
#include "ui/raise.h"

namespace gravlag::ui {

class PaintPacer;

class QtTextBox final : public QtControl<TextBox> {
public:
    QtTextBox(QWidget* parent, const ControlDesign& design, const TwipsScale& scale,
              WindowServices& services, PaintPacer& pacer);
    ~QtTextBox() override;
    std::string text() const override;
    void setText(std::string_view text) override;
    void setTextColor(Rgb color) override;
    void setBackgroundColor(Rgb color) override;
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    void onChange(Handler handler) override { onChange_ = std::move(handler); }

    QLineEdit* lineEdit() const { return edit_; }

    // Change handlers nested deeper than this (over all boxes of the thread) are not entered;
    // the text is still set, and the cut is reported through the services.
    static constexpr int kMaxChangeDepth = ChangeDepthGuard::kMaxDepth;
    static std::size_t changeDepthLimitHits() { return ChangeDepthGuard::limitHits(); }

private:
    void applyPending();
    void showBeginning();
    void fitToolTip();
    void raiseChange();
    void setRole(QPalette::ColorRole role, Rgb color);

    QLineEdit* edit_;
    WindowServices& services_;
    PaintPacer& pacer_;
    std::unique_ptr<QObject> clickFilter_; // goes with this wrapper, and with it the filter
    Handler onClick_, onChange_;
    std::string text_;      // what text() gives: as set, also while it waits for its frame
    bool applyDue_ = false; // text_ set during a run, not yet handed to the widget
    bool applying_ = false;
};

} // namespace gravlag::ui
