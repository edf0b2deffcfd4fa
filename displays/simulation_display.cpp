#include "displays/simulation_display.h"

#include "displays/palette.h"

namespace gravlag {

SimulationDisplay::SimulationDisplay(ui::WindowServices& services)
    : form2_(services.createWindow("Form2", "Simulation Display", 4680, 4260))
{
}

void SimulationDisplay::drawBodies(const SimState& s, const RunValues& run)
{
    // The view follows the inner pair's starting centre as the base velocity carries it.
    const double t = static_cast<double>(run.k) * s.dt;
    const double cx = run.xPair + t * run.vxBase;
    const double cy = run.yPair + t * run.vyBase;
    for (int i = 0; i <= run.nLast; ++i) {
        const auto ui = static_cast<unsigned>(i);
        const double dx = s.x[ui] - cx, dy = s.y[ui] - cy;
        const double px = run.simWidth / 2 + dx * run.drawScale;
        const double py = run.simHeight / 2 - dy * run.drawScale;
        form2_.setPixel(PixelCoordinate(px), PixelCoordinate(py), QBColor(2 * i));
    }
}

} // namespace gravlag
