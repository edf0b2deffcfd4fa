#include "app/files/png_writer.h"

#include <QImage>
#include <QString>

namespace gravlag {

bool WritePng(const ui::Surface& surface, const std::string& file, std::string& problem)
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
    if (!image.save(QString::fromStdString(file), "PNG")) {
        problem = "cannot write " + file;
        return false;
    }
    return true;
}

} // namespace gravlag
