#include "ui/qt/drawing_surface.h"

#include <QCloseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QShowEvent>

#include "ui/qt/paint_pacer.h"
#include "ui/surface.h" // kBackground: both implementations erase to the same white

namespace gravlag::ui {

namespace {

QRgb BackgroundRgb()
{
    return qRgb(kBackground.r, kBackground.g, kBackground.b);
}

} // namespace

DrawingSurface::DrawingSurface(QSize innerSize, PaintPacer& pacer)
    : pacer_(pacer)
{
    // The image covers the whole inner area, so Qt need not clear it before each paint.
    setAttribute(Qt::WA_OpaquePaintEvent);
    resize(innerSize);
    fitImage();
}

void DrawingSurface::fitImage()
{
    const QSize wanted = size().expandedTo(QSize(0, 0));
    if (image_.size() == wanted)
        return;
    QImage resized(wanted, QImage::Format_RGB32);
    resized.fill(BackgroundRgb());
    if (!image_.isNull() && !resized.isNull()) {
        QPainter painter(&resized);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(0, 0, image_);
    }
    image_ = std::move(resized);
}

void DrawingSurface::erase()
{
    image_.fill(BackgroundRgb());
    repaintLater(rect());
}

void DrawingSurface::repaintLater(const QRect& area)
{
    const bool scheduled = !dirty_.isNull();
    dirty_ = dirty_.united(area);
    if (!scheduled)
        pacer_.deferToFrame(this, [this] {
            update(dirty_);
            dirty_ = QRect();
        });
}

void DrawingSurface::setPixel(int x, int y, QRgb color)
{
    if (x < 0 || y < 0 || x >= image_.width() || y >= image_.height())
        return;
    image_.setPixel(x, y, color);
    repaintLater(QRect(x, y, 1, 1));
}

void DrawingSurface::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, image_, area);
    // Only while a resize has not reached the image yet can the widget be larger than it.
    const QRegion uncovered = QRegion(area).subtracted(QRegion(image_.rect()));
    for (const QRect& r : uncovered)
        painter.fillRect(r, QColor(BackgroundRgb()));
}

void DrawingSurface::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    fitImage();
}

void DrawingSurface::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (shown_ && !event->spontaneous())
        shown_();
}

void DrawingSurface::closeEvent(QCloseEvent* event)
{
    if (!closeRequest_ || closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace gravlag::ui
