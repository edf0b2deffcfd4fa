#pragma once
// An in-memory window's pixels, kept as their difference from the background (each byte
// XOR the background's), so that blank is all zeros: a new paper comes zeroed from the
// allocator (in a fresh process as pages the system maps only where they are written), and
// erasing clears only the rows drawn on. Showing, sizing and erasing a display cost next to
// nothing; the picture as a Surface is made when it is read.

#include <cstddef>
#include <cstdint>

#include "ui/surface.h"

namespace gravlag::ui {

class PixelPaper {
public:
    PixelPaper() = default;
    PixelPaper(int width, int height); // blank; throws std::bad_alloc when no memory is left
    ~PixelPaper();
    PixelPaper(PixelPaper&& other) noexcept;
    PixelPaper& operator=(PixelPaper&& other) noexcept;
    PixelPaper(const PixelPaper&) = delete;
    PixelPaper& operator=(const PixelPaper&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    // False while every pixel is the background.
    bool inked() const { return firstRow_ <= lastRow_; }
    // Every pixel the background again.
    void clear();
    // (x, y) within the paper. Noted, and written with the pixels noted before it when the
    // note is full or the paper is read: a display sets a few pixels between a hundred
    // passes, and each such write into the paper's megabyte would wait for its memory alone.
    void set(int x, int y, Rgb color)
    {
        if (noted_ == kNotes) [[unlikely]]
            write();
        // The color as one number: taken apart as three bytes, it would go through memory.
        const auto bits = static_cast<std::uint32_t>(color.r | color.g << 8 | color.b << 16);
        notes_[noted_++] = {static_cast<std::uint32_t>(y) * static_cast<std::uint32_t>(width_) + static_cast<std::uint32_t>(x),
                            bits ^ kBackgroundBits};
        firstRow_ = y < firstRow_ ? y : firstRow_;
        lastRow_ = y > lastRow_ ? y : lastRow_;
    }
    // The part of `other` that lies within this paper, at the same places.
    void copyOverlap(const PixelPaper& other);
    // The whole picture, row by row.
    void writeTo(Surface& surface) const;

private:
    struct Note {
        std::uint32_t pixel; // y * width + x
        std::uint32_t bytes; // r, g, b from the lowest, each XOR the background's
    };
    static constexpr std::uint32_t kBackgroundBits = kBackground.r | kBackground.g << 8 | kBackground.b << 16;
    static constexpr int kNotes = 256;
    void write() const; // the noted pixels into the paper, in the order they were set
    std::size_t blockBytes() const; // the pixels, then the notes
    void drop(); // gives the block back blank
    static constexpr int kNoRow = 1 << 30;
    std::uint8_t* bytes_ = nullptr;
    Note* notes_ = nullptr; // kNotes, with the block
    mutable int noted_ = 0;
    int width_ = 0, height_ = 0;
    int firstRow_ = kNoRow, lastRow_ = -1; // the rows drawn on lie within these
};

// Frees the blank papers kept for new windows (a sweep's end: none of its windows is made again).
void ReleaseKeptPapers();

} // namespace gravlag::ui
