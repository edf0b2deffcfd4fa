#include "panel/form1.h"

#include <stdexcept>
#include <string>

#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "panel/panel_inputs.h"
#include "panel/run_host.h"

namespace gravlag {

namespace {

// Design geometry in twips: name, text, left, top, width and tab index; the height is that of
// the kind of control.
constexpr int kBoxHeight = 285, kLabelHeight = 255, kButtonHeight = 375;

ui::Label& AddLabel(ui::Window& w, const char* name, const char* text, int left, int top,
                    int width, int tab)
{
    return w.addLabel({name, text, left, top, width, kLabelHeight, tab});
}

ui::TextBox& AddBox(ui::Window& w, const char* name, const char* text, int left, int top,
                    int width, int tab)
{
    return w.addTextBox({name, text, left, top, width, kBoxHeight, tab});
}

} // namespace

Form1::Form1(ui::WindowServices& services, SimState& state, SimulationDisplay& form2,
             TimeEvolutionDisplay& form3)
    : services_(services), state_(state), form2_(form2), form3_(form3),
      form1_(services.createWindow("Form1", "Control Display", 3765, 3720)),
      CommandCalc(form1_.addButton({"CommandCalc", "Calculate", 480, 120, 975, kButtonHeight, 0})),
      CommandEnd(form1_.addButton({"CommandEnd", "End", 2640, 120, 735, kButtonHeight, 7})),
      Ln_object(AddLabel(form1_, "Ln_object", "n object", 240, 720, 615, 13)),
      Lmass{AddLabel(form1_, "Lmass(0)", "Mass 1", 240, 1080, 615, 2),
            AddLabel(form1_, "Lmass(1)", "Mass 2", 240, 1440, 615, 4),
            AddLabel(form1_, "Lmass(2)", "Mass 3", 240, 1800, 615, 6)},
      LDx0(AddLabel(form1_, "LDx0", "r  m(2)", 240, 2160, 495, 15)),
      LDx2(AddLabel(form1_, "LDx2", "r  m(3)", 240, 2520, 495, 14)),
      Label1(AddLabel(form1_, "Label1", "vx base", 240, 2880, 735, 30)),
      Label2(AddLabel(form1_, "Label2", "vy base", 240, 3240, 735, 31)),
      Lmethode(AddLabel(form1_, "Lmethode", "Choice", 1800, 720, 615, 33)),
      Liter(AddLabel(form1_, "Liter", "Iteration", 1800, 1080, 615, 11)),
      Liter1(AddLabel(form1_, "Liter1", "Active", 1800, 1440, 615, 29)),
      Ldt(AddLabel(form1_, "Ldt", "dt", 1800, 1800, 615, 19)),
      Lc(AddLabel(form1_, "Lc", "c", 1800, 2160, 615, 17)),
      Lpredsel(AddLabel(form1_, "Lpredsel", "Prediction", 1800, 2520, 855, 25)),
      Lti1j0(AddLabel(form1_, "Lti1j0", "t 21", 1920, 2880, 495, 23)),
      Lti2j0(AddLabel(form1_, "Lti2j0", "t 31", 1920, 3240, 495, 21)),
      Tn_object(AddBox(form1_, "Tn_object", "3", 1080, 720, 495, 12)),
      Tmass{AddBox(form1_, "Tmass(0)", "100", 1080, 1080, 495, 1),
            AddBox(form1_, "Tmass(1)", "100", 1080, 1440, 495, 3),
            AddBox(form1_, "Tmass(2)", "0.01", 1080, 1800, 495, 5)},
      Dx1(AddBox(form1_, "Dx1", "6", 1080, 2160, 495, 9)),
      Dx2(AddBox(form1_, "Dx2", "30", 1080, 2520, 495, 8)),
      Tvxbase(AddBox(form1_, "Tvxbase", "0", 1080, 2880, 495, 26)),
      Tvybase(AddBox(form1_, "Tvybase", "0", 1080, 3240, 495, 27)),
      Tmethode(AddBox(form1_, "Tmethode", "2 BH's", 2640, 720, 735, 32)),
      Titer(AddBox(form1_, "Titer", "320000", 2640, 1080, 735, 10)),
      Titer1(AddBox(form1_, "Titer1", "0", 2640, 1440, 735, 28)),
      Tdt(AddBox(form1_, "Tdt", "0.001", 2640, 1800, 735, 18)),
      Tc(AddBox(form1_, "Tc", "0", 2640, 2160, 735, 16)),
      Tpredsel(AddBox(form1_, "Tpredsel", "0", 2640, 2520, 735, 24)),
      Tti1j0(AddBox(form1_, "Tti1j0", "0", 2640, 2880, 735, 22)),
      Tti2j0(AddBox(form1_, "Tti2j0", "0", 2640, 3240, 735, 20)),
      host_(std::make_unique<PanelRunHost>(services, *this, state, form2, form3, hooks_))
{
    CommandCalc.onClick([this] { CommandCalc_Click(); });
    CommandEnd.onClick([this] { CommandEnd_Click(); });
    Tmethode.onClick([this] { Tmethode_Click(); });
    Tc.onClick([this] { Tc_Click(); });
    Tn_object.onClick([this] { Tn_object_Click(); });
    Tn_object.onChange([this] { Tn_object_Change(); });
    Tpredsel.onClick([this] { Tpredsel_Click(); });
    form1_.onCloseRequest([this] { closeRequested(); });
}

Form1::~Form1()
{
    // The window and its controls belong to the services, which outlive this panel.
    for (ui::Button* b : {&CommandCalc, &CommandEnd})
        b->onClick({});
    for (ui::TextBox* b : {&Tmethode, &Tc, &Tn_object, &Tpredsel})
        b->onClick({});
    Tn_object.onChange({});
    form1_.onCloseRequest({});
}

ui::TextBox& Form1::box(std::string_view name)
{
    const PanelInput* entry = FindPanelBox(name);
    if (!entry)
        throw std::out_of_range("no box named \"" + std::string(name) + "\" on the panel");
    return entry->control(*this);
}

std::vector<PartRead> Form1::partReads() const
{
    std::vector<PartRead> reads = partReads_;
    const std::vector<PartRead>& rest = host_->partReads();
    reads.insert(reads.end(), rest.begin(), rest.end());
    return reads;
}

ui::Subscription Form1::onRunBegin(RunSubscriber subscriber)
{
    return hooks_.begin.subscribe(std::move(subscriber));
}

ui::Subscription Form1::onApsisEvent(RunSubscriber subscriber)
{
    return hooks_.apsisEvent.subscribe(std::move(subscriber));
}

ui::Subscription Form1::onSample(
    std::function<std::int64_t(const SimState&, const RunValues&)> interval, RunSubscriber sample)
{
    return hooks_.samples.subscribe({std::move(interval), std::move(sample)});
}

ui::Subscription Form1::onRunFinished(
    std::function<void(const SimState&, const RunResult&)> subscriber)
{
    return hooks_.finished.subscribe(std::move(subscriber));
}

ui::Subscription Form1::onRunFinished(std::function<void(const RunResult&)> subscriber)
{
    return onRunFinished([subscriber = std::move(subscriber)](const SimState&, const RunResult& r) {
        subscriber(r);
    });
}

ui::Subscription Form1::onDelayRecord(std::function<void(const DelayStats&)> subscriber)
{
    return hooks_.delayRecord.subscribe(std::move(subscriber));
}

void Form1::ArrangeWindows()
{
    ui::Window& form2 = form2_.window();
    ui::Window& form3 = form3_.window();
    form1_.setTop(0);
    form2.setTop(form1_.outerHeight());
    form2.setOuterWidth(form1_.outerWidth());
    form2.setLeft(0);
    form3.setTop(0);
    form3.setLeft(form1_.outerWidth());
}

void Form1::Form_Load()
{
    ui::Window& form2 = form2_.window();
    ui::Window& form3 = form3_.window();
    ArrangeWindows();
    form1_.setScaleModePixels();
    form2.setScaleModePixels();
    form3.setScaleModePixels();
    form3_.setPlotWidth(static_cast<float>(form3.innerWidth()));
    form3_.setColorIndex(0);
    form3_.Tcolor.setText(RegionalNumberText(static_cast<long long>(form3_.colorIndex())));
    state_.scenarioCode = Scenario::TwoBlackHoles;
}

void Form1::CommandCalc_Click()
{
    // One run at a time: a click that reaches us from a running run's event hand-over is
    // ignored, since a second run would set up the state under the first.
    if (running_)
        return;
    partReads_.clear();
    const std::string typedC = Tc.text();
    state_.c = ParseLeadingNumber(typedC);
    NotePartRead(partReads_, "Tc", typedC, typedC, state_.c);
    Tc.setText(PlainNumberText(state_.c));
    const std::string typedDt = Tdt.text();
    Tdt.setText(NormalizeDecimalText(typedDt));
    const std::string tidiedDt = Tdt.text();
    state_.dt = ParseLeadingNumber(tidiedDt);
    if (state_.dt == 0)
        state_.dt = 0.001;
    NotePartRead(partReads_, "Tdt", typedDt, tidiedDt, state_.dt);
    Tdt.setText(PlainNumberText(state_.dt));
    const std::string typedDx1 = Dx1.text(), typedDx2 = Dx2.text();
    Dx1.setText(NormalizeDecimalText(typedDx1));
    Dx2.setText(NormalizeDecimalText(typedDx2));
    const std::string tidiedDx1 = Dx1.text(), tidiedDx2 = Dx2.text();
    state_.dx1 = ParseLeadingNumber(tidiedDx1);
    state_.dx2 = ParseLeadingNumber(tidiedDx2);
    NotePartRead(partReads_, "Dx1", typedDx1, tidiedDx1, state_.dx1);
    NotePartRead(partReads_, "Dx2", typedDx2, tidiedDx2, state_.dx2);

    running_ = true;
    services_.setRunning(true);
    lastRun_ = RunSimulation(state_, *host_);
    services_.setRunning(false);
    running_ = false;
    if (endAfterRun_) {
        services_.endProgram();
        return;
    }
    hooks_.finished(state_, *lastRun_);
}

void Form1::CommandEnd_Click()
{
    if (CommandEnd.caption() == "Stop") {
        state_.stopFlag = StopRequest::Stop;
        return;
    }
    services_.endProgram();
}

void Form1::closeRequested()
{
    // Closing the panel during a run stops the run first; the program ends when it returns.
    if (running_) {
        state_.stopFlag = StopRequest::Stop;
        endAfterRun_ = true;
        return;
    }
    services_.endProgram();
}

void Form1::Tmethode_Click()
{
    const bool toMercury = Tmethode.text() == "2 BH's";
    const RegionalFormat f = services_.regionalFormat();
    Tmethode.setText(toMercury ? "Mercury" : "2 BH's");
    state_.scenarioCode = toMercury ? Scenario::Mercury : Scenario::TwoBlackHoles;
    Tmass[0].setText(RegionalNumberText(100LL));
    Tmass[1].setText(toMercury ? RegionalNumberText(0.001, f) : RegionalNumberText(100LL));
    Tmass[2].setText(RegionalNumberText(toMercury ? 0.1 : 0.01, f));
    Dx1.setText(RegionalNumberText(toMercury ? 8LL : 6LL));
    Titer.setText(RegionalNumberText(toMercury ? 1000000LL : 320000LL));
    form3_.setColorIndex(toMercury ? 12 : 0);
    form3_.refreshSwatch();
}

void Form1::Tc_Click()
{
    if (ParseLeadingNumber(Tc.text()) == 0)
        Tc.setText("50000");
}

void Form1::Tn_object_Click()
{
    Tn_object.setText(RegionalNumberText(ParseLeadingNumber(Tn_object.text()) == 2 ? 3LL : 2LL));
}

void Form1::Tn_object_Change()
{
    if (Tn_object.text().empty())
        return;
    if (ParseLeadingNumber(Tn_object.text()) > 3)
        Tn_object.setText(RegionalNumberText(3LL));
    if (ParseLeadingNumber(Tn_object.text()) < 2)
        Tn_object.setText(RegionalNumberText(2LL));
}

void Form1::Tpredsel_Click()
{
    Tpredsel.setText(Tpredsel.text() == "0" ? "1" : "0");
}

} // namespace gravlag
