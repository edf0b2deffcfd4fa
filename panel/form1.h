#pragma once
// Form1, "Control Display": every parameter as text, "Calculate", "End"/"Stop", the
// selectors, and the three progress boxes. It holds its 34 controls by their design names.

#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "core/run.h"
#include "panel/run_box_reader.h"
#include "panel/run_hooks.h"
#include "ui/control_array.h"
#include "ui/window_services.h"

namespace gravlag {

class SimulationDisplay;
class TimeEvolutionDisplay;
class PanelRunHost;

class Form1 {
public:
    Form1(ui::WindowServices& services, SimState& state, SimulationDisplay& form2,
          TimeEvolutionDisplay& form3);
    ~Form1(); // ends the handlers it gave its controls
    Form1(const Form1&) = delete;
    Form1& operator=(const Form1&) = delete;

    ui::Window& window() { return form1_; }
    // A text box by its control name, for names from outside the program (tests, the batch
    // runner's options): through the table of panel_inputs.h. Throws std::out_of_range for a
    // name that is none of the panel's sixteen boxes.
    ui::TextBox& box(std::string_view name);
    bool running() const { return running_; }
    const std::optional<RunResult>& lastRun() const { return lastRun_; }
    // The boxes the latest run read only in part (run_box_reader.h), in the order read.
    std::vector<PartRead> partReads() const;
    // The physics of the next runs (force law, integrator, tolerance): no box holds it; the
    // programs around the panel set it.
    Model model;

    // Subscriptions to this panel's runs (run_hooks.h). Each lasts as long as the panel
    // unless its handle ends it; a subscriber that may go first holds a
    // ui::ScopedSubscription.
    using RunSubscriber = std::function<void(const SimState&, const RunValues&)>;
    ui::Subscription onRunBegin(RunSubscriber subscriber);
    ui::Subscription onApsisEvent(RunSubscriber subscriber);
    // `interval` is asked once a run is set up (<= 0: no samples of that run).
    ui::Subscription onSample(
        std::function<std::int64_t(const SimState&, const RunValues&)> interval,
        RunSubscriber sample);
    ui::Subscription onRunFinished(
        std::function<void(const SimState&, const RunResult&)> subscriber);
    ui::Subscription onRunFinished(std::function<void(const RunResult&)> subscriber);
    // The main loop's delay record after the last pass; while there is a subscriber, the runs
    // keep one.
    ui::Subscription onDelayRecord(std::function<void(const DelayStats&)> subscriber);

    void Form_Load();
    // Form_Load's first steps: the panel at the top, the simulation display below it and the
    // time evolution display beside it, by the panel's outer size. Again where that size
    // changes before the displays are first shown (a window manager that frames the panel late).
    void ArrangeWindows();
    void CommandCalc_Click();
    void CommandEnd_Click();
    void Tmethode_Click();
    void Tc_Click();
    void Tn_object_Click();
    void Tn_object_Change();
    void Tpredsel_Click();

private:
    void closeRequested();

    ui::WindowServices& services_;
    SimState& state_;
    SimulationDisplay& form2_;
    TimeEvolutionDisplay& form3_;
    ui::Window& form1_;

public:
    // The controls, in the order they are created: the buttons, the labels, the boxes.
    ui::Button& CommandCalc;
    ui::Button& CommandEnd;
    ui::Label& Ln_object;
    ui::ControlArray<ui::Label, kBodies> Lmass;
    ui::Label& LDx0;
    ui::Label& LDx2;
    ui::Label& Label1;
    ui::Label& Label2;
    ui::Label& Lmethode;
    ui::Label& Liter;
    ui::Label& Liter1;
    ui::Label& Ldt;
    ui::Label& Lc;
    ui::Label& Lpredsel;
    ui::Label& Lti1j0;
    ui::Label& Lti2j0;
    ui::TextBox& Tn_object;
    ui::ControlArray<ui::TextBox, kBodies> Tmass;
    ui::TextBox& Dx1;
    ui::TextBox& Dx2;
    ui::TextBox& Tvxbase;
    ui::TextBox& Tvybase;
    ui::TextBox& Tmethode;
    ui::TextBox& Titer;
    ui::TextBox& Titer1;
    ui::TextBox& Tdt;
    ui::TextBox& Tc;
    ui::TextBox& Tpredsel;
    ui::TextBox& Tti1j0;
    ui::TextBox& Tti2j0;

private:
    RunHooks hooks_;
    std::unique_ptr<PanelRunHost> host_;
    bool running_ = false;
    bool endAfterRun_ = false;
    std::optional<RunResult> lastRun_;
    std::vector<PartRead> partReads_; // of c, dt, "r m(2)", "r m(3)": the click reads them
};

} // namespace gravlag
