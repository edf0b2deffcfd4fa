#pragma once
// Form3, "Time Evolution Display": the distance strip of "2 BH's", the apsis directions and
// their fitted line in "Mercury", the colour selector and "Clear".

#include "core/run.h"
#include "ui/window_services.h"

namespace gravlag {

class TimeEvolutionDisplay {
public:
    TimeEvolutionDisplay(ui::WindowServices& services, SimState& state);
    ui::Window& window() { return form3_; }
    ui::TextBox& colorBox() { return *tcolor_; }

    // Outer size and control positions for the scenario, at every run start.
    void layout(int scenarioCode);
    void apsisEvent(const SimState& state, const RunValues& run);
    void timePlot(const SimState& state, const RunValues& run);

    void Tcolor_Click();
    void CommandCls_Click();
    // The swatch shows colorIndex: its colour as background, its number as text.
    void refreshSwatch();

private:
    ui::WindowServices& services_;
    SimState& state_;
    ui::Window& form3_;
    ui::Button* cls_;
    ui::TextBox *tcolor_, *tpred_, *ta_, *tb_;
    ui::Label *la_, *lb_, *lpred_, *lcolor_;
};

} // namespace gravlag
