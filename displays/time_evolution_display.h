#pragma once
// Form3, "Time Evolution Display": the distance strip of "2 BH's", the apsis directions and
// their fitted line in "Mercury", the colour selector and "Clear". It keeps the plot's
// colour index and the plot width measured at start-up, and holds its nine controls by their
// design names.

#include "core/run.h"
#include "ui/window_services.h"

namespace gravlag {

class TimeEvolutionDisplay {
public:
    explicit TimeEvolutionDisplay(ui::WindowServices& services);
    ~TimeEvolutionDisplay(); // ends the handlers it gave its controls
    TimeEvolutionDisplay(const TimeEvolutionDisplay&) = delete;
    TimeEvolutionDisplay& operator=(const TimeEvolutionDisplay&) = delete;
    ui::Window& window() { return form3_; }

    // Palette index of the plot, 0..15; the swatch shows it after refreshSwatch.
    int colorIndex() const { return colorIndex_; }
    void setColorIndex(int index) { colorIndex_ = index; }
    // Inner width of the window as start-up measured it, pixels: the width of a "2 BH's" run.
    float plotWidth() const { return plotWidth_; }
    void setPlotWidth(float width) { plotWidth_ = width; }

    // Outer size and control positions for the scenario, at every run start.
    void layout(Scenario scenario);
    void apsisEvent(const SimState& state, const RunValues& run);
    void timePlot(const SimState& state, const RunValues& run);

    void Tcolor_Click();
    void CommandCls_Click();
    // The swatch shows colorIndex: its colour as background, its number as text.
    void refreshSwatch();

private:
    ui::WindowServices& services_;
    ui::Window& form3_;
    int colorIndex_ = 0;
    float plotWidth_ = 0;

public:
    // In the order they are created.
    ui::Button& CommandCls;
    ui::TextBox& Tcolor;
    ui::TextBox& TPred;
    ui::TextBox& Ta;
    ui::TextBox& Tb;
    ui::Label& La;
    ui::Label& Lb;
    ui::Label& Lpred;
    ui::Label& Lcolor;
};

} // namespace gravlag
