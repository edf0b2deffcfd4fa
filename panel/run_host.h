#pragma once
// What a run needs from the windows: Form1's boxes and caption, Form2 and Form3; and what it
// tells the subscribers of the panel's run hooks.

#include <optional>
#include <string_view>

#include "core/run.h"
#include "panel/run_box_reader.h"
#include "panel/run_hooks.h"
#include "ui/window_services.h"

namespace gravlag {

class Form1;
class SimulationDisplay;
class TimeEvolutionDisplay;

class PanelRunHost final : public RunHost, private RunBoxes {
public:
    PanelRunHost(ui::WindowServices& services, Form1& form1, const SimState& state,
                 SimulationDisplay& form2, TimeEvolutionDisplay& form3, RunHooks& hooks);

    void takeEarlyInputs() override { reader_.readEarly(*this); }
    // The number format is asked here; the display updates reuse that answer instead of
    // asking the system's locale every 100 passes.
    std::variant<RunInputs, std::string> runInputs(const SimState& state) override;
    std::string placementRefusal(const PlacementProblem& problem) override
    {
        return PlacementRefusalText(problem);
    }
    void setEndCaption(std::string_view caption) override;
    void processPendingEvents() override { services_.processPendingEvents(); }
    void showDisplays() override;
    DisplayGeometry prepareDisplays(Scenario scenario) override;
    void apsisEvent(const SimState& state, const RunValues& run) override;
    void displayUpdate(const SimState& state, const RunValues& run) override;
    void timePlot(const SimState& state, const RunValues& run) override;
    std::int64_t sampleEvery(const RunValues& run) override;
    void samplePass(const SimState& state, const RunValues& run) override;
    bool recordDelays() override { return !hooks_.delayRecord.empty(); }
    void delayRecord(const DelayStats& delays) override { hooks_.delayRecord(delays); }
    const std::vector<PartRead>& partReads() const { return reader_.partReads; }

private:
    std::string boxText(PanelBox box) override;
    void setBoxText(PanelBox box, std::string_view text) override;
    ui::TextBox& box(PanelBox box);
    RunBoxReader reader_;
    ui::WindowServices& services_;
    Form1& form1_;
    const SimState& state_;
    SimulationDisplay& form2_;
    TimeEvolutionDisplay& form3_;
    RunHooks& hooks_;
    RegionalFormat format_;
    // The shown delays' texts, formatted again only when a delay changes: in whole steps, a
    // delay keeps its value for thousands of display updates.
    class DelayText {
    public:
        std::string_view of(const std::optional<double>& delay, const RegionalFormat& format);
        void forget() { known_ = false; }

    private:
        bool known_ = false;
        std::optional<double> delay_;
        NumberText text_;
    };
    DelayText delay21Text_, delay31Text_;
};

} // namespace gravlag
