#include "ui/qt/qt_text_box.h"

#include <algorithm>

#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionFrame>

#include "core/number_text.h"
#include "ui/qt/paint_pacer.h"

namespace gravlag::ui {

namespace {

// Turns a left-button press and release inside the box into one click. The events go on to
// the line edit, so it still places the cursor and takes the focus.
class ClickFilter final : public QObject {
public:
    ClickFilter(QLineEdit* edit, std::function<void()> clicked)
        : edit_(edit)
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

QtTextBox::QtTextBox(QWidget* parent, const ControlDesign& design, const TwipsScale& scale,
                     WindowServices& services, PaintPacer& pacer)
    : QtControl(new QLineEdit(parent), design, scale)
    , edit_(static_cast<QLineEdit*>(widget()))
    , services_(services)
    , pacer_(pacer)
{
    edit_->setText(QString::fromStdString(design.text)); // before any handler can see it
    showBeginning();
    text_ = edit_->text().toStdString();
    text_.reserve(NumberText::kCapacity); // a run's number texts then never allocate here
    QObject::connect(edit_, &QLineEdit::textChanged, lifetime(), [this] {
        fitToolTip();
        if (applying_)
            return; // a paced text reaching the widget: its change was raised when it was set
        // Typed, or set outside a run: what the widget shows is the text now.
        applyDue_ = false;
        text_ = edit_->text().toStdString();
        raiseChange();
    });
    clickFilter_ = std::make_unique<ClickFilter>(edit_, [this] { Raise(onClick_); });
}

QtTextBox::~QtTextBox() = default;

std::string QtTextBox::text() const
{
    return text_;
}

void QtTextBox::setText(std::string_view text)
{
    // Compared and kept as UTF-8, as text() gives it back. A text beyond ASCII goes through
    // QString first, which turns bytes that are not UTF-8 into U+FFFD as the widget would.
    const bool ascii = std::all_of(text.begin(), text.end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    const auto size = static_cast<qsizetype>(text.size());
    const QString wanted = ascii ? QString() : QString::fromUtf8(text.data(), size);
    if (ascii ? text == text_ : wanted.toStdString() == text_)
        return;
    if (pacer_.pacedTexts() && !edit_->hasFocus()) {
        if (ascii)
            text_.assign(text);
        else
            text_ = wanted.toStdString();
        if (!applyDue_)
            pacer_.deferToFrame(lifetime(), [this] { applyPending(); });
        applyDue_ = true;
        raiseChange();
        return;
    }
    applyDue_ = false;
    // QLineEdit puts the cursor at the end of a text it is given. While the person is in the
    // box (a handler tidying what is being typed) it stays where the typing was instead.
    const bool inBox = edit_->hasFocus();
    const int cursor = edit_->cursorPosition();
    pacer_.deferPaint(edit_);
    // Raises the change through textChanged, before returning.
    edit_->setText(ascii ? QString::fromLatin1(text.data(), size) : wanted);
    if (inBox)
        edit_->setCursorPosition(std::min(cursor, static_cast<int>(edit_->text().size())));
    else
        showBeginning();
    text_ = edit_->text().toStdString(); // also when the widget showed it already, or cut it
}

void QtTextBox::applyPending()
{
    if (!applyDue_)
        return;
    applyDue_ = false;
    applying_ = true;
    pacer_.deferPaint(edit_);
    edit_->setText(QString::fromStdString(text_));
    if (!edit_->hasFocus())
        showBeginning();
    applying_ = false;
    text_ = edit_->text().toStdString(); // as the widget keeps it (it may cut a long text)
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
    RaiseChange(onChange_, services_);
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

} // namespace gravlag::ui
