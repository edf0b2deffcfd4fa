#pragma once
// The whole program above the window services: the state, the three windows and their
// handlers, started up as at program start. The desktop program and the batch runner both
// build exactly this, on Qt or on in-memory windows.

#include "core/sim_state.h"
#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "panel/form1.h"

namespace gravlag {

class Program {
public:
    explicit Program(ui::WindowServices& services)
        : form2_(services), form3_(services), form1_(services, state_, form2_, form3_)
    {
        form1_.Form_Load();
    }
    SimState& state() { return state_; }
    Form1& form1() { return form1_; }
    SimulationDisplay& form2() { return form2_; }
    TimeEvolutionDisplay& form3() { return form3_; }

private:
    SimState state_;
    SimulationDisplay form2_;
    TimeEvolutionDisplay form3_;
    Form1 form1_;
};

} // namespace gravlag
