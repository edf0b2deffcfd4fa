#include "ui/qt/qt_text_box.h"

#include <algorithm>
#include <cstdio>

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include "ui/qt/paint_pacer.h"

namespace gravlag::ui {

namespace {

int changeDepth = 0;
std::size_t changeLimitHits = 0;

class DepthGuard {
public:
    DepthGuard() { ++changeDepth; }
    ~DepthGuard() { --changeDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

// Turns a left-button press and release inside the box into one click. The events go on to
// the line edit, so it still places the cursor and takes the focus.
class ClickFilter final : public QObject {
public:
    ClickFilter(QLineEdit* edit, std::function<void()> clicked)
        : QObject(edit)
        , edit_(edit)
        , clicked_(std::move(clicked))
    {
        edit->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched != edit_)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick: // the second click of a double click is a click too
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                pressed_ = true;
            break;
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && pressed_) {
                pressed_ = false;
                if (edit_->rect().contains(mouse->position().toPoint()))
                    clicked_();
            }
            break;
        }
        default:
            break;
        }
        return false;
    }

private:
    QLineEdit* edit_;
    std::function<void()> clicked_;
    bool pressed_ = false;
};

} // namespace

QtTextBox::QtTextBox(QWidget* parent, const ControlDesign& design, const TwipsScale& scale)
    : QtControl(new QLineEdit(parent), design, scale)
    , edit_(static_cast<QLineEdit*>(widget()))
{
    edit_->setText(QString::fromStdString(design.text)); // before any handler can see it
    showBeginning();
    QObject::connect(edit_, &QLineEdit::textChanged, edit_, [this] {
        fitToolTip();
        if (applying_)
            return; // a paced text reaching the widget: its change was raised when it was set
        pending_.reset(); // the person typed: what they see and typed is the text now
        raiseChange();
    });
    new ClickFilter(edit_, [this] { raiseClick(); });
}

std::string QtTextBox::text() const
{
    return (pending_ ? *pending_ : edit_->text()).toStdString();
}

void QtTextBox::setText(std::string_view text)
{
    const QString wanted = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (wanted == (pending_ ? *pending_ : edit_->text()))
        return;
    if (PacedTexts() && !edit_->hasFocus()) {
        const bool scheduled = pending_.has_value();
        pending_ = wanted;
        if (!scheduled)
            DeferToFrame(edit_, [this] { applyPending(); });
        raiseChange();
        return;
    }
    pending_.reset();
    // QLineEdit puts the cursor at the end of a text it is given. While the person is in the
    // box (a handler tidying what is being typed) it stays where the typing was instead.
    const bool inBox = edit_->hasFocus();
    const int cursor = edit_->cursorPosition();
    DeferPaint(edit_);
    edit_->setText(wanted); // raises the change through textChanged, before returning
    if (inBox)
        edit_->setCursorPosition(std::min(cursor, static_cast<int>(edit_->text().size())));
    else
        showBeginning();
}

void QtTextBox::applyPending()
{
    if (!pending_)
        return;
    const QString text = *pending_;
    pending_.reset();
    applying_ = true;
    DeferPaint(edit_);
    edit_->setText(text);
    if (!edit_->hasFocus())
        showBeginning();
    applying_ = false;
}

void QtTextBox::showBeginning()
{
    // QLineEdit scrolls a text it is given to its end; a number too long for its box reads
    // better cut at the end than at the start ("45.07116" rather than ".68591255").
    edit_->setCursorPosition(0);
}

void QtTextBox::fitToolTip()
{
    // The whole text where the box cannot show it; none where it can.
    QStyleOptionFrame option;
    option.initFrom(edit_);
    option.lineWidth = edit_->hasFrame() ? edit_->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit_) : 0;
    const int room = edit_->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit_).width()
        - edit_->textMargins().left() - edit_->textMargins().right() - 4; // QLineEdit's own margins
    const QString text = edit_->text();
    edit_->setToolTip(edit_->fontMetrics().horizontalAdvance(text) > room ? text : QString());
}

void QtTextBox::raiseChange()
{
    if (!onChange_)
        return;
    if (changeDepth >= kMaxChangeDepth) {
        ++changeLimitHits;
        std::fputs("gravlag: change handlers nested too deeply; chain cut\n", stderr);
        return;
    }
    DepthGuard nested;
    Handler running = onChange_;
    running();
}

void QtTextBox::raiseClick()
{
    if (onClick_) {
        Handler running = onClick_;
        running();
    }
}

void QtTextBox::setRole(QPalette::ColorRole role, Rgb color)
{
    QPalette palette = edit_->palette();
    palette.setColor(role, QColor(color.r, color.g, color.b));
    edit_->setPalette(palette);
}

void QtTextBox::setTextColor(Rgb color)
{
    setRole(QPalette::Text, color);
}

void QtTextBox::setBackgroundColor(Rgb color)
{
    setRole(QPalette::Base, color);
}

std::size_t QtTextBox::changeDepthLimitHits()
{
    return changeLimitHits;
}

} // namespace gravlag::ui
