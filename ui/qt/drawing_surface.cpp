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

// A page of a mapping that moved may be faulted in again at its next write (a virtual
// machine's shadow page tables): each is written once, keeping its bytes.
void TouchPages(uchar* data, std::size_t bytes)
{
    constexpr std::size_t kPage = 4096; // or less than the system's: a page written twice
    for (std::size_t at = 0; at < bytes; at += kPage) {
        volatile uchar* const byte = data + at;
        *byte = *byte;
    }
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
    std::size_t mapped = 0; // the image's bytes and the room kept beyond them
    bool takenBack = false;

    static void Release(void* info)
    {
        auto* memory = static_cast<PixelMemory*>(info);
        if (!memory->takenBack)
            UnmapPixels(memory->data, memory->mapped);
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
// unless a copy of the image still holds it; and it keeps `room` bytes at least, written
// once here, so that a later size within them needs no new pages (kept until an image
// needs less than a quarter of what is mapped). Remapping costs more than the pages: a
// virtual machine may fault in every page of a moved mapping again when it is next read.
void DrawingSurface::reshape(QSize wanted, std::size_t room)
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
    std::size_t mapped = bytes > 0 ? std::max(bytes, room) : 0;
    if (!image_.isNull() && image_.isDetached()) {
        data = memory_->data;
        const std::size_t oldMapped = memory_->mapped;
        memory_->takenBack = true;
        image_ = QImage(); // the last holder: the memory is the surface's again
        if (stride < oldStride) // rows narrower: moved down before the end is cut
            for (int y = 0; y < keepHeight; ++y)
                std::memmove(row(data, y, stride), row(data, y, oldStride), keptRow);
        if (mapped > 0 && mapped <= oldMapped && 4 * mapped > oldMapped)
            mapped = oldMapped; // fits in what is mapped: nothing to remap
        uchar* resized = mapped == oldMapped ? data
            : mapped > 0                     ? RemapPixels(data, oldMapped, mapped)
                                             : nullptr;
        if (!resized)
            UnmapPixels(data, oldMapped);
        if (resized && resized != data) // moved: every page written once, now
            TouchPages(resized, std::min(oldMapped, mapped));
        data = resized;
        // The new pages beyond the image written once, now (the image's own are, below).
        const std::size_t fresh = std::max(oldMapped, bytes);
        if (data && mapped > fresh)
            std::memset(data + fresh, 0, mapped - fresh);
        if (data && stride > oldStride) // rows wider: moved up from the last
            for (int y = keepHeight - 1; y >= 0; --y)
                std::memmove(row(data, y, stride), row(data, y, oldStride), keptRow);
    } else {
        data = mapped > 0 ? MapPixels(mapped) : nullptr;
        if (data) {
            for (int y = 0; y < keepHeight; ++y)
                std::memcpy(row(data, y, stride), image_.constScanLine(y), keptRow);
            std::memset(data + bytes, 0, mapped - bytes);
        }
        image_ = QImage();
    }
    memory_ = nullptr;
    if (!data)
        return; // no area, or no memory for it: no image, painted white
    for (int y = 0; y < height; ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(row(data, y, stride));
        std::fill(pixels + (y < keepHeight ? keepWidth : 0), pixels + width, BackgroundRgb());
    }
    auto* memory = new PixelMemory{data, mapped};
    image_ = QImage(data, width, height, static_cast<qsizetype>(stride), QImage::Format_RGB32,
                    &PixelMemory::Release, memory);
    if (image_.isNull()) {
        UnmapPixels(data, mapped);
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
    // A run's layout may make the window larger before it shows it: the image and the
    // buffer are given room for half as much again, written now.
    const QSize now = size(), larger(now.width(), now.height() + now.height() / 2);
    if (!image_.isNull())
        reshape(image_.size(), static_cast<std::size_t>(larger.width()) * static_cast<std::size_t>(larger.height())
                                   * sizeof(QRgb));
    QBackingStore* store = backingStore();
    if (!store)
        return;
    // The buffer is painted at the larger size and then at its own: a later size within
    // the larger one keeps the memory (the X platform's shared memory, or a block that
    // malloc hands out again).
    for (const QSize size : {larger, now}) {
        const QRect all(QPoint(), size);
        store->resize(size);
        store->beginPaint(QRegion(all));
        {
            QPainter painter(store->paintDevice());
            painter.fillRect(all, QColor(BackgroundRgb()));
        }
        store->endPaint();
    }
}

void DrawingSurface::closeEvent(QCloseEvent* event)
{
    if (!closeRequest_ || closeRequest_())
        event->accept();
    else
        event->ignore();
}

} // namespace gravlag::ui
