#pragma once
// Form1, "Control Display": every parameter as text, "Calculate", "End"/"Stop", the
// selectors, and the three progress boxes.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "core/run.h"
#include "ui/window_services.h"

namespace gravlag {

class SimulationDisplay;
class TimeEvolutionDisplay;
class PanelRunHost;

class Form1 {
public:
    Form1(ui::WindowServices& services, SimState& state, SimulationDisplay& form2,
          TimeEvolutionDisplay& form3);
    ~Form1();

    ui::Window& window() { return form1_; }
    ui::TextBox& box(const std::string& name) { return *boxes_.at(name); }
    ui::Button& commandEnd() { return *commandEnd_; }
    bool running() const { return running_; }
    const std::optional<RunResult>& lastRun() const { return lastRun_; }
    // Called after every run, once "End" is back on the button.
    void onRunFinished(std::function<void(const RunResult&)> callback) { finished_ = std::move(callback); }
    // Called at every apsis event of a run, after the displays have drawn it.
    void onApsisEvent(std::function<void(const RunValues&)> callback);
    // Called every `interval(run)` passes of a run (asked once after set-up; 0: never), after
    // the displays have drawn that pass. For exports; a run without it samples nothing.
    void onSample(std::function<std::int64_t(const RunValues&)> interval,
                  std::function<void(const SimState&, const RunValues&)> callback);

    void Form_Load();
    void CommandCalc_Click();
    void CommandEnd_Click();
    void Tmethode_Click();
    void Tc_Click();
    void Tn_object_Click();
    void Tn_object_Change();
    void Tpredsel_Click();

private:
    void closeRequested();
    ui::TextBox& addBox(const ui::ControlDesign& design);

    ui::WindowServices& services_;
    SimState& state_;
    SimulationDisplay& form2_;
    TimeEvolutionDisplay& form3_;
    ui::Window& form1_;
    ui::Button* commandCalc_ = nullptr;
    ui::Button* commandEnd_ = nullptr;
    std::map<std::string, ui::TextBox*> boxes_;
    std::unique_ptr<PanelRunHost> host_;
    bool running_ = false;
    bool endAfterRun_ = false;
    std::optional<RunResult> lastRun_;
    std::function<void(const RunResult&)> finished_;
};

} // namespace gravlag
