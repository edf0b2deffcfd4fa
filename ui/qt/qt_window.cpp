#include "ui/qt/qt_window.h"

#include <algorithm>

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include "ui/qt/drawing_surface.h"
#include "ui/qt/qt_button.h"
#include "ui/qt/qt_label.h"
#include "ui/qt/qt_text_box.h"
#include "ui/qt/screen_fit.h"
#include "ui/raise.h"

namespace gravlag::ui {

namespace {

constexpr int kFramePollMs = 50; // how often a newly shown window looks for its frame
constexpr int kFramePolls = 20;  // and for how long: a second
constexpr int kTitleGrip = 100;  // pixels: how much of a title bar must show to move the window

} // namespace

QtWindow::QtWindow(WindowServices& services, PaintPacer& pacer, std::string name,
                   std::string_view caption, int innerWidthTwips, int innerHeightTwips,
                   TwipsScale scale, QMargins* knownFrame)
    : services_(services)
    , pacer_(pacer)
    , name_(std::move(name))
    , scale_(scale)
    , knownFrame_(knownFrame)
    , surface_(std::make_unique<DrawingSurface>(
          QSize(scale.toPixels(innerWidthTwips), scale.toPixels(innerHeightTwips)), pacer))
{
    surface_->setObjectName(QString::fromStdString(name_));
    surface_->setWindowTitle(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
    surface_->setCloseRequestHandler([this] { return closeRequested(); });
    surface_->setShownHandler([this] { awaitFrame(kFramePolls); });
    // While the program waits for its first click: showing the window in a run then costs
    // the run less (DrawingSurface::prepareShowing).
    QTimer::singleShot(0, surface_.get(), [this] { surface_->prepareShowing(); });
}

QtWindow::~QtWindow()
{
    surface_.reset();
}

std::string QtWindow::caption() const
{
    return surface_->windowTitle().toStdString();
}

QMargins QtWindow::frame() const
{
    if (surface_->isVisible()) {
        const QRect outer = surface_->frameGeometry();
        const QRect inner = surface_->geometry();
        const QMargins seen(inner.left() - outer.left(), inner.top() - outer.top(),
                            outer.right() - inner.right(), outer.bottom() - inner.bottom());
        // Right after show() some platforms report no frame until the window manager has
        // framed the window; only a real frame is worth remembering for the others, and
        // until then the frame the others have stands for this one's: a run that lays out
        // a display it has just shown sizes it as every later run does.
        if (seen.isNull())
            return knownFrame_ ? *knownFrame_ : seen;
        if (knownFrame_)
            *knownFrame_ = seen;
        return seen;
    }
    return knownFrame_ ? *knownFrame_ : QMargins();
}

// For a top-level widget, pos() and move() are those of the frame's top-left corner.
int QtWindow::left() const
{
    return scale_.toTwips(surface_->x());
}

void QtWindow::setLeft(int twips)
{
    layoutPos_.setX(scale_.toPixels(twips));
    placeAt(layoutPos_);
}

int QtWindow::top() const
{
    return scale_.toTwips(surface_->y());
}

void QtWindow::setTop(int twips)
{
    layoutPos_.setY(scale_.toPixels(twips));
    placeAt(layoutPos_);
}

void QtWindow::placeAt(QPoint wanted)
{
    // Hidden, the window waits at its place in the layout; shown, it must be on the screen.
    QPoint at = wanted;
    if (surface_->isVisible()) {
        const QSize outer = surface_->size().grownBy(frame());
        const QScreen* screen = QGuiApplication::screenAt(wanted);
        if (!screen)
            screen = surface_->screen();
        if (screen) {
            const QRect frameRect(wanted, outer);
            const QRect available = screen->availableGeometry();
            at = front_ && front_->isVisible()
                ? PlaceBeside(frameRect, available, front_->frameGeometry(), mustShow())
                : FitInside(frameRect, available);
        }
    }
    if (surface_->pos() != at)
        surface_->move(at);
    placedAt_ = at;
}

QRect QtWindow::mustShow() const
{
    const QMargins f = frame();
    const int outerWidth = surface_->width() + f.left() + f.right();
    QRect keep(0, 0, std::min(outerWidth, kTitleGrip), std::max(f.top(), 1));
    const QRect controls = surface_->childrenRect(); // the shown ones
    if (!controls.isNull())
        keep |= QRect(0, 0, f.left() + controls.right() + 1, f.top() + controls.bottom() + 1);
    return keep;
}

// A window manager frames a window some time after it is shown; until then neither Qt nor
// this window knows the frame, and a window placed meanwhile may get its inner area, not its
// frame, where the layout wants the frame, its title bar above the screen's top edge. So
// once the frame is there (or, with no window manager, after a while), the window is placed
// again, by its frame.
void QtWindow::awaitFrame(int pollsLeft)
{
    QTimer::singleShot(kFramePollMs, surface_.get(), [this, pollsLeft] {
        if (!surface_->isVisible())
            return;
        if (frame().isNull() && pollsLeft > 1) {
            awaitFrame(pollsLeft - 1);
            return;
        }
        placeAt(layoutPos_);
    });
}

QPoint QtWindow::resizedPlace()
{
    // Where the person has moved the window since it was placed is its place from now on.
    if (surface_->pos() != placedAt_)
        layoutPos_ = surface_->pos();
    return layoutPos_;
}

int QtWindow::outerWidth() const
{
    const QMargins f = frame();
    return scale_.toTwips(surface_->width() + f.left() + f.right());
}

void QtWindow::setOuterWidth(int twips)
{
    const QMargins f = frame();
    surface_->resize(std::max(0, scale_.toPixels(twips) - f.left() - f.right()), surface_->height());
    surface_->fitImage(); // a hidden window gets its resize event only when shown
    placeAt(resizedPlace());
}

int QtWindow::outerHeight() const
{
    const QMargins f = frame();
    return scale_.toTwips(surface_->height() + f.top() + f.bottom());
}

void QtWindow::setOuterHeight(int twips)
{
    const QMargins f = frame();
    surface_->resize(surface_->width(), std::max(0, scale_.toPixels(twips) - f.top() - f.bottom()));
    surface_->fitImage();
    placeAt(resizedPlace());
}

int QtWindow::innerWidth() const
{
    return surface_->width();
}

int QtWindow::innerHeight() const
{
    return surface_->height();
}

bool QtWindow::isVisible() const
{
    return surface_->isVisible();
}

void QtWindow::show()
{
    if (surface_->isVisible())
        return;
    surface_->show();
    placeAt(layoutPos_);
}

void QtWindow::erase()
{
    surface_->erase();
}

void QtWindow::setPixel(float x, float y, Rgb color)
{
    surface_->setPixel(DevicePixel(x), DevicePixel(y), qRgb(color.r, color.g, color.b));
}

void QtWindow::addFocusable(int tabIndex, QWidget* widget)
{
    focusable_.emplace_back(tabIndex, widget);
    std::stable_sort(focusable_.begin(), focusable_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < focusable_.size(); ++i)
        QWidget::setTabOrder(focusable_[i - 1].second, focusable_[i].second);
}

TextBox& QtWindow::addTextBox(const ControlDesign& design)
{
    QtTextBox& added = AddControl(controls_, design.name, [&] {
        return std::make_unique<QtTextBox>(surface_.get(), design, scale_, services_, pacer_);
    });
    addFocusable(design.tabIndex, added.widget());
    return added;
}

Label& QtWindow::addLabel(const ControlDesign& design)
{
    return AddControl(controls_, design.name,
                      [&] { return std::make_unique<QtLabel>(surface_.get(), design, scale_); });
}

Button& QtWindow::addButton(const ControlDesign& design)
{
    QtButton& added = AddControl(controls_, design.name, [&] {
        return std::make_unique<QtButton>(surface_.get(), design, scale_);
    });
    addFocusable(design.tabIndex, added.widget());
    return added;
}

QWidget* QtWindow::widget() const
{
    return surface_.get();
}

const QImage& QtWindow::surfaceImage() const
{
    return surface_->image();
}

QtTextBox* QtWindow::textBox(std::string_view name) const
{
    return FindControl<QtTextBox>(controls_, name);
}

QtButton* QtWindow::button(std::string_view name) const
{
    return FindControl<QtButton>(controls_, name);
}

QtLabel* QtWindow::label(std::string_view name) const
{
    return FindControl<QtLabel>(controls_, name);
}

bool QtWindow::closeRequested()
{
    if (closingForEnd_)
        return true;
    if (!onClose_)
        return true; // nobody to ask: the window just goes out of sight
    Raise(onClose_);
    // The handler decides; only ending the program from it closes the window here.
    return closingForEnd_;
}

void QtWindow::closeForEnd()
{
    closingForEnd_ = true;
    surface_->close();
}

} // namespace gravlag::ui
