#include "ui/headless/pixel_paper.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <utility>

namespace gravlag::ui {

namespace {

// Blank papers kept for the next window of the same size. A sweep makes and drops a point's
// windows as its points start and end, in lanes several points at once; a block dropped to
// the allocator comes back either cleared whole by calloc or, where the allocator gave the
// memory back to the system, as fresh pages faulted in one by one as they are drawn on, each
// fault dear under a virtual machine. A kept block is cleared only on the rows drawn on.
class BlankBlocks {
public:
    // A blank block of `bytes`, or none.
    std::uint8_t* take(std::size_t bytes)
    {
        const std::lock_guard lock(mutex_);
        for (int i = 0; i < count_; ++i)
            if (kept_[i].bytes == bytes) {
                std::uint8_t* const block = kept_[i].block;
                kept_[i] = kept_[--count_];
                return block;
            }
        return nullptr;
    }
    // Keeps a blank block, or frees it when enough are kept.
    void keep(std::uint8_t* block, std::size_t bytes)
    {
        {
            const std::lock_guard lock(mutex_);
            if (count_ < kKept) {
                kept_[count_++] = {block, bytes};
                return;
            }
        }
        std::free(block);
    }
    // Frees every kept block.
    void release()
    {
        const std::lock_guard lock(mutex_);
        while (count_ > 0)
            std::free(kept_[--count_].block);
    }

private:
    // Points in lanes end together: a thread's points in progress have two windows each.
    static constexpr int kKept = 64;
    std::mutex mutex_;
    struct {
        std::uint8_t* block;
        std::size_t bytes;
    } kept_[kKept] = {};
    int count_ = 0;
};

// Constant-initialised and never destroyed (a window may outlive any static); the blocks
// stay reachable from it.
constinit BlankBlocks blankBlocks;

} // namespace

void ReleaseKeptPapers() { blankBlocks.release(); }

namespace {

// A paper's block: its pixels, then its notes.
std::size_t NotesAt(std::size_t pixels) { return (3 * pixels + 7) / 8 * 8; }

} // namespace

PixelPaper::PixelPaper(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height))
{
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    if (pixels == 0)
        return;
    if (pixels > std::numeric_limits<std::uint32_t>::max()) // no window is that large: its notes could not name a pixel
        throw std::bad_alloc();
    const std::size_t bytes = blockBytes();
    bytes_ = blankBlocks.take(bytes);
    if (!bytes_)
        bytes_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
    if (!bytes_) {
        blankBlocks.release(); // memory kept blank is memory the allocator can give
        bytes_ = static_cast<std::uint8_t*>(std::calloc(bytes, 1));
    }
    if (!bytes_)
        throw std::bad_alloc();
    notes_ = reinterpret_cast<Note*>(bytes_ + NotesAt(pixels));
}

PixelPaper::~PixelPaper() { drop(); }

void PixelPaper::drop()
{
    if (!bytes_)
        return;
    clear();
    notes_ = nullptr;
    blankBlocks.keep(std::exchange(bytes_, nullptr), blockBytes());
}

PixelPaper::PixelPaper(PixelPaper&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr))
    , notes_(std::exchange(other.notes_, nullptr))
    , noted_(std::exchange(other.noted_, 0))
    , width_(std::exchange(other.width_, 0))
    , height_(std::exchange(other.height_, 0))
    , firstRow_(std::exchange(other.firstRow_, kNoRow))
    , lastRow_(std::exchange(other.lastRow_, -1))
{
}

PixelPaper& PixelPaper::operator=(PixelPaper&& other) noexcept
{
    if (this != &other) {
        drop();
        bytes_ = std::exchange(other.bytes_, nullptr);
        notes_ = std::exchange(other.notes_, nullptr);
        noted_ = std::exchange(other.noted_, 0);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        firstRow_ = std::exchange(other.firstRow_, kNoRow);
        lastRow_ = std::exchange(other.lastRow_, -1);
    }
    return *this;
}

std::size_t PixelPaper::blockBytes() const
{
    return NotesAt(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)) + kNotes * sizeof(Note);
}

void PixelPaper::write() const
{
    for (int i = 0; i < noted_; ++i) {
        const Note note = notes_[i];
        std::uint8_t* p = bytes_ + 3 * static_cast<std::size_t>(note.pixel);
        p[0] = static_cast<std::uint8_t>(note.bytes);
        p[1] = static_cast<std::uint8_t>(note.bytes >> 8);
        p[2] = static_cast<std::uint8_t>(note.bytes >> 16);
    }
    noted_ = 0;
}

void PixelPaper::clear()
{
    noted_ = 0; // within the rows cleared
    if (!inked())
        return;
    const std::size_t row = 3 * static_cast<std::size_t>(width_);
    std::memset(bytes_ + row * static_cast<std::size_t>(firstRow_), 0,
                row * static_cast<std::size_t>(lastRow_ - firstRow_ + 1));
    firstRow_ = kNoRow;
    lastRow_ = -1;
}

void PixelPaper::copyOverlap(const PixelPaper& other)
{
    write(); // what was set here before the copy lies under it
    other.write();
    const auto width = static_cast<std::size_t>(std::min(width_, other.width_));
    const int last = std::min(height_ - 1, other.lastRow_);
    if (!other.inked() || width == 0 || other.firstRow_ > last)
        return;
    for (int y = other.firstRow_; y <= last; ++y)
        std::memcpy(bytes_ + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
                    other.bytes_ + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(other.width_),
                    3 * width);
    firstRow_ = std::min(firstRow_, other.firstRow_);
    lastRow_ = std::max(lastRow_, last);
}

void PixelPaper::writeTo(Surface& surface) const
{
    write();
    surface.width = width_;
    surface.height = height_;
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    surface.pixels.assign(n, kBackground);
    if (!inked())
        return;
    const std::size_t first = static_cast<std::size_t>(firstRow_) * static_cast<std::size_t>(width_);
    const std::size_t end = static_cast<std::size_t>(lastRow_ + 1) * static_cast<std::size_t>(width_);
    for (std::size_t i = first; i < end; ++i) {
        const std::uint8_t* p = bytes_ + 3 * i;
        surface.pixels[i] = {static_cast<std::uint8_t>(p[0] ^ kBackground.r),
                             static_cast<std::uint8_t>(p[1] ^ kBackground.g),
                             static_cast<std::uint8_t>(p[2] ^ kBackground.b)};
    }
}

} // namespace gravlag::ui
