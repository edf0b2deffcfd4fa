#include "ui/qt/drawing_surface.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#include <QBackingStore>
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

// The pixels' memory, a mapping of its own where the system has them: resized, it keeps the
// pages it has (mremap moves them, copying nothing), where malloc could copy it all into
// pages never touched.
uchar* MapPixels(std::size_t bytes)
{
#if defined(__linux__)
    void* at = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return at == MAP_FAILED ? nullptr : static_cast<uchar*>(at);
#else
    return static_cast<uchar*>(std::malloc(bytes));
#endif
}

// nullptr when it fails; the memory is then as it was.
uchar* RemapPixels(uchar* data, std::size_t oldBytes, std::size_t bytes)
{
#if defined(__linux__)
    void* at = mremap(data, oldBytes, bytes, MREMAP_MAYMOVE);
    return at == MAP_FAILED ? nullptr : static_cast<uchar*>(at);
#else
    (void)oldBytes;
    return static_cast<uchar*>(std::realloc(data, bytes));
#endif
}

void UnmapPixels(uchar* data, std::size_t bytes)
{
#if defined(__linux__)
    if (data)
        munmap(data, bytes);
#else
    (void)bytes;
    std::free(data);
#endif
}

} // namespace

// The memory under the image. The image and its copies own it through the image's clean-up
// call; the surface takes it back for the next size when no copy is left.
struct DrawingSurface::PixelMemory {
    uchar* data = nullptr;
    std::size_t bytes = 0;
    bool takenBack = false;

    static void Release(void* info)
    {
        auto* memory = static_cast<PixelMemory*>(info);
        if (!memory->takenBack)
            UnmapPixels(memory->data, memory->bytes);
        delete memory;
    }
};

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
    if (image_.size() != wanted)
        reshape(wanted);
}

// A display is resized when a run lays it out, and memory new to the process costs a page
// fault a page when first written: for a display's image, more than the run's first
// thousands of passes. So the memory is resized in place, where the pages it has stay,
// unless a copy of the image still holds it.
void DrawingSurface::reshape(QSize wanted)
{
    const int oldWidth = image_.width(), width = wanted.width(), height = wanted.height();
    const std::size_t oldStride = static_cast<std::size_t>(oldWidth) * sizeof(QRgb);
    const std::size_t stride = static_cast<std::size_t>(width) * sizeof(QRgb);
    const std::size_t bytes = stride * static_cast<std::size_t>(height);
    const int keepWidth = std::min(oldWidth, width), keepHeight = std::min(image_.height(), height);
    const std::size_t keptRow = static_cast<std::size_t>(std::max(keepWidth, 0)) * sizeof(QRgb);
    const auto row = [](uchar* at, int y, std::size_t rowBytes) {
        return at + static_cast<std::size_t>(y) * rowBytes;
    };
    uchar* data = nullptr;
    if (!image_.isNull() && image_.isDetached()) {
        data = memory_->data;
        const std::size_t oldBytes = memory_->bytes;
        memory_->takenBack = true;
        image_ = QImage(); // the last holder: the memory is the surface's again
        if (stride < oldStride) // rows narrower: moved down before the end is cut
            for (int y = 0; y < keepHeight; ++y)
                std::memmove(row(data, y, stride), row(data, y, oldStride), keptRow);
        uchar* resized = bytes > 0 ? RemapPixels(data, oldBytes, bytes) : nullptr;
        if (!resized)
            UnmapPixels(data, oldBytes);
        data = resized;
        if (data && stride > oldStride) // rows wider: moved up from the last
            for (int y = keepHeight - 1; y >= 0; --y)
                std::memmove(row(data, y, stride), row(data, y, oldStride), keptRow);
    } else {
        data = bytes > 0 ? MapPixels(bytes) : nullptr;
        if (data)
            for (int y = 0; y < keepHeight; ++y)
                std::memcpy(row(data, y, stride), image_.constScanLine(y), keptRow);
        image_ = QImage();
    }
    memory_ = nullptr;
    if (!data)
        return; // no area, or no memory for it: no image, painted white
    for (int y = 0; y < height; ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(row(data, y, stride));
        std::fill(pixels + (y < keepHeight ? keepWidth : 0), pixels + width, BackgroundRgb());
    }
    auto* memory = new PixelMemory{data, bytes};
    image_ = QImage(data, width, height, static_cast<qsizetype>(stride), QImage::Format_RGB32,
                    &PixelMemory::Release, memory);
    if (image_.isNull()) {
        UnmapPixels(data, bytes);
        delete memory;
        return;
    }
    memory_ = memory;
}

void DrawingSurface::erase()
{
    if (!image_.isNull() && !image_.isDetached())
        reshape(image_.size()); // a copy keeps what it saw
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
    if (!image_.isDetached())
        reshape(image_.size()); // a copy keeps what it saw
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

void DrawingSurface::prepareShowing()
{
    if (isVisible() || testAttribute(Qt::WA_WState_Created))
        return;
    const QPoint place = pos();
    create();
    move(place); // a frame known now would otherwise shift what pos() says
    QBackingStore* store = backingStore();
    if (!store)
        return;
    const QRect all(QPoint(), size());
    store->resize(all.size());
    store->beginPaint(QRegion(all));
    {
        QPainter painter(store->paintDevice());
        painter.fillRect(all, QColor(BackgroundRgb()));
    }
    store->endPaint();
}

void DrawingSurface::closeEvent(QCloseEvent* event)
{
    if (!closeRequest_ || closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace gravlag::ui
