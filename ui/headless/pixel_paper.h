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
    // (x, y) within the paper.
    void set(int x, int y, Rgb color)
    {
        std::uint8_t* p = bytes_ + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)
                                        + static_cast<std::size_t>(x));
        p[0] = static_cast<std::uint8_t>(color.r ^ kBackground.r);
        p[1] = static_cast<std::uint8_t>(color.g ^ kBackground.g);
        p[2] = static_cast<std::uint8_t>(color.b ^ kBackground.b);
        firstRow_ = y < firstRow_ ? y : firstRow_;
        lastRow_ = y > lastRow_ ? y : lastRow_;
    }
    // The part of `other` that lies within this paper, at the same places.
    void copyOverlap(const PixelPaper& other);
    // The whole picture, row by row.
    void writeTo(Surface& surface) const;

private:
    void drop(); // gives the block back blank
    static constexpr int kNoRow = 1 << 30;
    std::uint8_t* bytes_ = nullptr;
    int width_ = 0, height_ = 0;
    int firstRow_ = kNoRow, lastRow_ = -1; // the rows drawn on lie within these

};

// Frees the blank papers kept for new windows (a sweep's end: none of its windows is made again).
void ReleaseKeptPapers();

} // namespace gravlag::ui
