#include "panel/form1.h"

#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "panel/run_host.h"

namespace gravlag {

namespace {

// Design geometry in twips: name, text, left, top, width, height, tab index.
struct Design {
    const char* name;
    const char* text;
    int left, top, width, tab;
};

constexpr int kBoxHeight = 285, kLabelHeight = 255, kButtonHeight = 375;

constexpr Design kLabels[] = {
    {"Ln_object", "n object", 240, 720, 615, 13}, {"Lmass(0)", "Mass 1", 240, 1080, 615, 2},
    {"Lmass(1)", "Mass 2", 240, 1440, 615, 4},    {"Lmass(2)", "Mass 3", 240, 1800, 615, 6},
    {"LDx0", "r  m(2)", 240, 2160, 495, 15},      {"LDx2", "r  m(3)", 240, 2520, 495, 14},
    {"Label1", "vx base", 240, 2880, 735, 30},    {"Label2", "vy base", 240, 3240, 735, 31},
    {"Lmethode", "Choice", 1800, 720, 615, 33},   {"Liter", "Iteration", 1800, 1080, 615, 11},
    {"Liter1", "Active", 1800, 1440, 615, 29},    {"Ldt", "dt", 1800, 1800, 615, 19},
    {"Lc", "c", 1800, 2160, 615, 17},             {"Lpredsel", "Prediction", 1800, 2520, 855, 25},
    {"Lti1j0", "t 21", 1920, 2880, 495, 23},      {"Lti2j0", "t 31", 1920, 3240, 495, 21},
};

constexpr Design kBoxes[] = {
    {"Tn_object", "3", 1080, 720, 495, 12},     {"Tmass(0)", "100", 1080, 1080, 495, 1},
    {"Tmass(1)", "100", 1080, 1440, 495, 3},    {"Tmass(2)", "0.01", 1080, 1800, 495, 5},
    {"Dx1", "6", 1080, 2160, 495, 9},           {"Dx2", "30", 1080, 2520, 495, 8},
    {"Tvxbase", "0", 1080, 2880, 495, 26},      {"Tvybase", "0", 1080, 3240, 495, 27},
    {"Tmethode", "2 BH's", 2640, 720, 735, 32}, {"Titer", "320000", 2640, 1080, 735, 10},
    {"Titer1", "0", 2640, 1440, 735, 28},       {"Tdt", "0.001", 2640, 1800, 735, 18},
    {"Tc", "0", 2640, 2160, 735, 16},           {"Tpredsel", "0", 2640, 2520, 735, 24},
    {"Tti1j0", "0", 2640, 2880, 735, 22},       {"Tti2j0", "0", 2640, 3240, 735, 20},
};

} // namespace

Form1::Form1(ui::WindowServices& services, SimState& state, SimulationDisplay& form2,
             TimeEvolutionDisplay& form3)
    : services_(services), state_(state), form2_(form2), form3_(form3),
      form1_(services.createWindow("Form1", "Control Display", 3765, 3720))
{
    commandCalc_ = &form1_.addButton({"CommandCalc", "Calculate", 480, 120, 975, kButtonHeight, 0});
    commandEnd_ = &form1_.addButton({"CommandEnd", "End", 2640, 120, 735, kButtonHeight, 7});
    for (const Design& d : kLabels)
        form1_.addLabel({d.name, d.text, d.left, d.top, d.width, kLabelHeight, d.tab});
    for (const Design& d : kBoxes)
        addBox({d.name, d.text, d.left, d.top, d.width, kBoxHeight, d.tab});

    commandCalc_->onClick([this] { CommandCalc_Click(); });
    commandEnd_->onClick([this] { CommandEnd_Click(); });
    box("Tmethode").onClick([this] { Tmethode_Click(); });
    box("Tc").onClick([this] { Tc_Click(); });
    box("Tn_object").onClick([this] { Tn_object_Click(); });
    box("Tn_object").onChange([this] { Tn_object_Change(); });
    box("Tpredsel").onClick([this] { Tpredsel_Click(); });
    form1_.onCloseRequest([this] { closeRequested(); });
    host_ = std::make_unique<PanelRunHost>(services, *this, form2, form3);
}

Form1::~Form1() = default;

ui::TextBox& Form1::addBox(const ui::ControlDesign& design)
{
    ui::TextBox& b = form1_.addTextBox(design);
    boxes_[design.name] = &b;
    return b;
}

void Form1::onApsisEvent(std::function<void(const RunValues&)> callback)
{
    host_->apsisObserver = std::move(callback);
}

void Form1::onSample(std::function<std::int64_t(const RunValues&)> interval,
                     std::function<void(const SimState&, const RunValues&)> callback)
{
    host_->sampleInterval = std::move(interval);
    host_->sampleObserver = std::move(callback);
}

void Form1::Form_Load()
{
    ui::Window& form2 = form2_.window();
    ui::Window& form3 = form3_.window();
    form1_.setTop(0);
    form2.setTop(form1_.outerHeight());
    form2.setOuterWidth(form1_.outerWidth());
    form2.setLeft(0);
    form3.setTop(0);
    form3.setLeft(form1_.outerWidth());
    form1_.setScaleModePixels();
    form2.setScaleModePixels();
    form3.setScaleModePixels();
    form3_.setPlotWidth(static_cast<float>(form3.innerWidth()));
    form3_.setColorIndex(0);
    form3_.colorBox().setText(RegionalNumberText(static_cast<long long>(form3_.colorIndex())));
    state_.scenarioCode = Scenario::TwoBlackHoles;
}

void Form1::CommandCalc_Click()
{
    // One run at a time: a click that reaches us from a running run's event hand-over is
    // ignored, since a second run would set up the state under the first.
    if (running_)
        return;
    ui::TextBox& tc = box("Tc");
    ui::TextBox& tdt = box("Tdt");
    state_.c = ParseLeadingNumber(tc.text());
    tc.setText(PlainNumberText(state_.c));
    tdt.setText(NormalizeDecimalText(tdt.text()));
    state_.dt = ParseLeadingNumber(tdt.text());
    if (state_.dt == 0)
        state_.dt = 0.001;
    tdt.setText(PlainNumberText(state_.dt));
    box("Dx1").setText(NormalizeDecimalText(box("Dx1").text()));
    box("Dx2").setText(NormalizeDecimalText(box("Dx2").text()));
    state_.dx1 = ParseLeadingNumber(box("Dx1").text());
    state_.dx2 = ParseLeadingNumber(box("Dx2").text());

    running_ = true;
    services_.setRunning(true);
    lastRun_ = RunSimulation(state_, *host_);
    services_.setRunning(false);
    running_ = false;
    if (endAfterRun_) {
        services_.endProgram();
        return;
    }
    if (finished_)
        finished_(*lastRun_);
}

void Form1::CommandEnd_Click()
{
    if (commandEnd_->caption() == "Stop") {
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
    const bool toMercury = box("Tmethode").text() == "2 BH's";
    const RegionalFormat f = services_.regionalFormat();
    box("Tmethode").setText(toMercury ? "Mercury" : "2 BH's");
    state_.scenarioCode = toMercury ? Scenario::Mercury : Scenario::TwoBlackHoles;
    box("Tmass(0)").setText(RegionalNumberText(100LL));
    box("Tmass(1)").setText(toMercury ? RegionalNumberText(0.001, f) : RegionalNumberText(100LL));
    box("Tmass(2)").setText(RegionalNumberText(toMercury ? 0.1 : 0.01, f));
    box("Dx1").setText(RegionalNumberText(toMercury ? 8LL : 6LL));
    box("Titer").setText(RegionalNumberText(toMercury ? 1000000LL : 320000LL));
    form3_.setColorIndex(toMercury ? 12 : 0);
    form3_.refreshSwatch();
}

void Form1::Tc_Click()
{
    if (ParseLeadingNumber(box("Tc").text()) == 0)
        box("Tc").setText("50000");
}

void Form1::Tn_object_Click()
{
    ui::TextBox& n = box("Tn_object");
    n.setText(RegionalNumberText(ParseLeadingNumber(n.text()) == 2 ? 3LL : 2LL));
}

void Form1::Tn_object_Change()
{
    ui::TextBox& n = box("Tn_object");
    if (n.text().empty())
        return;
    if (ParseLeadingNumber(n.text()) > 3)
        n.setText(RegionalNumberText(3LL));
    if (ParseLeadingNumber(n.text()) < 2)
        n.setText(RegionalNumberText(2LL));
}

void Form1::Tpredsel_Click()
{
    ui::TextBox& p = box("Tpredsel");
    p.setText(p.text() == "0" ? "1" : "0");
}

} // namespace gravlag
