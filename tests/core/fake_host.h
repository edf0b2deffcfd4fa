#pragma once
// A RunHost without windows: boxes in a map, read as the panel reads its own; hooks recorded.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/run.h"
#include "panel/run_box_reader.h"

namespace gravlag::testing {

struct FakeHost : RunHost, RunBoxes {
    std::map<PanelBox, std::string> boxes{
        {PanelBox::Tpredsel, "0"}, {PanelBox::Titer, "320000"}, {PanelBox::Tn_object, "3"},
        {PanelBox::Tmass0, "100"}, {PanelBox::Tmass1, "100"}, {PanelBox::Tmass2, "0.01"},
        {PanelBox::Tvxbase, "0"}, {PanelBox::Tvybase, "0"}};
    std::string caption = "End";
    RegionalFormat format;
    Model model;
    RunBoxReader reader;
    int handOvers = 0, shows = 0, prepares = 0;
    std::vector<std::int64_t> displayPasses, plotPasses, apsisPasses;
    std::vector<RunValues> apsisRuns;
    std::function<void(const SimState&, const RunValues&)> onDisplay;
    std::function<void()> onHandOver;

    std::string boxText(PanelBox b) override { return boxes[b]; }
    void setBoxText(PanelBox b, std::string_view t) override { boxes[b] = std::string(t); }
    void takeEarlyInputs() override { reader.readEarly(*this); }
    std::variant<RunInputs, std::string> runInputs(const SimState& s) override
    {
        return reader.read(*this, format, s, model);
    }
    std::string placementRefusal(const PlacementProblem& p) override
    {
        return PlacementRefusalText(p);
    }
    void setEndCaption(std::string_view c) override { caption = std::string(c); }
    void processPendingEvents() override
    {
        ++handOvers;
        if (onHandOver)
            onHandOver();
    }
    void showDisplays() override { ++shows; }
    DisplayGeometry prepareDisplays(Scenario) override
    {
        ++prepares;
        return {312, 284, 210, 800};
    }
    void apsisEvent(const SimState&, const RunValues& run) override
    {
        apsisPasses.push_back(run.k);
        apsisRuns.push_back(run);
    }
    void displayUpdate(const SimState& s, const RunValues& run) override
    {
        displayPasses.push_back(run.k);
        if (onDisplay)
            onDisplay(s, run);
        processPendingEvents();
    }
    void timePlot(const SimState&, const RunValues& run) override { plotPasses.push_back(run.k); }
};

// The state as "Calculate" leaves it with the panel defaults.
inline SimState DefaultState()
{
    SimState s;
    s.c = 0;
    s.dt = 0.001;
    s.dx1 = 6;
    s.dx2 = 30;
    return s;
}

// The panel after a click on the scenario box: "Mercury" with its parameter set.
inline void UseMercury(SimState& s, FakeHost& h)
{
    s.scenarioCode = Scenario::Mercury;
    s.dx1 = 8;
    h.boxes[PanelBox::Tmass1] = "0.001";
    h.boxes[PanelBox::Tmass2] = "0.1";
}

} // namespace gravlag::testing
