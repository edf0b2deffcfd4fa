#pragma once
// An in-memory window's pixels, kept as their difference from the background (each byte
// XOR the background's), in memory the system hands out zeroed: a page nobody draws on is
// never touched, so showing, sizing and erasing a display costs next to nothing, and a run
// pays only for the rows its dots fall on. The picture as a Surface is made when it is read.

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
    bool inked() const { return inked_; }
    // (x, y) within the paper.
    void set(int x, int y, Rgb color)
    {
        std::uint8_t* p = bytes_ + 3 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_)
                                        + static_cast<std::size_t>(x));
        p[0] = static_cast<std::uint8_t>(color.r ^ kBackground.r);
        p[1] = static_cast<std::uint8_t>(color.g ^ kBackground.g);
        p[2] = static_cast<std::uint8_t>(color.b ^ kBackground.b);
        inked_ = true;
    }
    // The part of `other` that lies within this paper, at the same places.
    void copyOverlap(const PixelPaper& other);
    // The whole picture, row by row.
    void writeTo(Surface& surface) const;

private:
    std::uint8_t* bytes_ = nullptr;
    std::size_t mapped_ = 0; // bytes
    int width_ = 0, height_ = 0;
    bool inked_ = false;
};

} // namespace gravlag::ui
