#pragma once
// Form2, "Simulation Display": a run dots every active body here every 100 passes.

#include "core/run.h"
#include "ui/window_services.h"

namespace gravlag {

class SimulationDisplay {
public:
    explicit SimulationDisplay(ui::WindowServices& services);
    ui::Window& window() { return form2_; }
    // The dots of one display update, in the colour of each body.
    void drawBodies(const SimState& state, const RunValues& run);

private:
    ui::Window& form2_;
};

} // namespace gravlag
