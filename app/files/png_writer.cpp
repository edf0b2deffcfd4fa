#include "app/files/png_writer.h"

#include <csetjmp>
#include <vector>

#include <png.h>

namespace gravlag {

namespace {

// 96 dots per inch, rounded to whole dots per metre as PNG stores it.
constexpr png_uint_32 kDotsPerMetre = 3780;

void AppendBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* bytes = static_cast<std::string*>(png_get_io_ptr(png));
    bytes->append(reinterpret_cast<const char*>(data), length);
}

void NoFlush(png_structp) {}

// libpng reports errors by longjmp to the setjmp below. Nothing with a destructor may be
// created between the two, so the rows are built before and handed in by pointer.
bool Encode(const ui::Surface& surface, const std::vector<png_bytep>& rows, std::string& bytes)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, AppendBytes, NoFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(surface.width),
                 static_cast<png_uint_32>(surface.height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_pHYs(png, info, kDotsPerMetre, kDotsPerMetre, PNG_RESOLUTION_METER);
    png_set_rows(png, info, const_cast<png_bytepp>(rows.data())); // read only
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

std::string EncodePng(const ui::Surface& surface)
{
    if (surface.width <= 0 || surface.height <= 0
        || surface.pixels.size() != static_cast<std::size_t>(surface.width) * static_cast<std::size_t>(surface.height))
        return {};
    // libpng's RGB rows, byte by byte.
    const auto width = static_cast<std::size_t>(surface.width);
    std::vector<png_byte> pixels;
    pixels.reserve(surface.pixels.size() * 3);
    for (const ui::Rgb& c : surface.pixels)
        pixels.insert(pixels.end(), {c.r, c.g, c.b});
    std::vector<png_bytep> rows(static_cast<std::size_t>(surface.height));
    for (std::size_t y = 0; y < rows.size(); ++y)
        rows[y] = &pixels[y * width * 3];
    std::string bytes;
    if (!Encode(surface, rows, bytes))
        return {};
    return bytes;
}

} // namespace gravlag
