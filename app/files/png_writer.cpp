#include "app/files/png_writer.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace gravlag {

std::string PngBytes(const ui::Surface& surface)
{
    QImage image(surface.width, surface.height, QImage::Format_RGB32);
    for (int y = 0; y < surface.height; ++y)
        for (int x = 0; x < surface.width; ++x) {
            const ui::Rgb c = surface.at(x, y);
            image.setPixel(x, y, qRgb(c.r, c.g, c.b));
        }
    const int dotsPerMeter = static_cast<int>(96 / 0.0254 + 0.5);
    image.setDotsPerMeterX(dotsPerMeter);
    image.setDotsPerMeterY(dotsPerMeter);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return {};
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace gravlag
