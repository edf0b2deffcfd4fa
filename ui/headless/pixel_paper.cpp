#include "ui/headless/pixel_paper.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include <sys/mman.h>

namespace gravlag::ui {

PixelPaper::PixelPaper(int width, int height)
    : width_(std::max(0, width)), height_(std::max(0, height))
{
    const std::size_t bytes = 3 * static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    if (bytes == 0)
        return;
    // A fresh anonymous mapping reads as zeros and takes memory only where it is written.
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    bytes_ = static_cast<std::uint8_t*>(p);
    mapped_ = bytes;
}

PixelPaper::~PixelPaper()
{
    if (bytes_)
        ::munmap(bytes_, mapped_);
}

PixelPaper::PixelPaper(PixelPaper&& other) noexcept
    : bytes_(std::exchange(other.bytes_, nullptr))
    , mapped_(std::exchange(other.mapped_, 0))
    , width_(std::exchange(other.width_, 0))
    , height_(std::exchange(other.height_, 0))
    , inked_(std::exchange(other.inked_, false))
{
}

PixelPaper& PixelPaper::operator=(PixelPaper&& other) noexcept
{
    if (this != &other) {
        PixelPaper old(std::move(*this));
        bytes_ = std::exchange(other.bytes_, nullptr);
        mapped_ = std::exchange(other.mapped_, 0);
        width_ = std::exchange(other.width_, 0);
        height_ = std::exchange(other.height_, 0);
        inked_ = std::exchange(other.inked_, false);
    }
    return *this;
}

void PixelPaper::copyOverlap(const PixelPaper& other)
{
    if (!other.inked_)
        return;
    const auto width = static_cast<std::size_t>(std::min(width_, other.width_));
    const int height = std::min(height_, other.height_);
    for (int y = 0; y < height; ++y)
        std::memcpy(bytes_ + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(width_),
                    other.bytes_ + 3 * static_cast<std::size_t>(y) * static_cast<std::size_t>(other.width_),
                    3 * width);
    inked_ = inked_ || (width > 0 && height > 0);
}

void PixelPaper::writeTo(Surface& surface) const
{
    surface.width = width_;
    surface.height = height_;
    const std::size_t n = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    surface.pixels.assign(n, kBackground);
    if (!inked_)
        return;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = bytes_ + 3 * i;
        surface.pixels[i] = {static_cast<std::uint8_t>(p[0] ^ kBackground.r),
                             static_cast<std::uint8_t>(p[1] ^ kBackground.g),
                             static_cast<std::uint8_t>(p[2] ^ kBackground.b)};
    }
}

} // namespace gravlag::ui
