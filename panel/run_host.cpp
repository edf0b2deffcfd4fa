#include "panel/run_host.h"

#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "panel/form1.h"

namespace gravlag {

PanelRunHost::PanelRunHost(ui::WindowServices& services, Form1& form1, SimulationDisplay& form2,
                           TimeEvolutionDisplay& form3)
    : services_(services), form1_(form1), form2_(form2), form3_(form3)
{
}

ui::TextBox& PanelRunHost::box(PanelBox b)
{
    switch (b) {
    case PanelBox::Tpredsel: return form1_.box("Tpredsel");
    case PanelBox::Titer: return form1_.box("Titer");
    case PanelBox::Tn_object: return form1_.box("Tn_object");
    case PanelBox::Tmass0: return form1_.box("Tmass(0)");
    case PanelBox::Tmass1: return form1_.box("Tmass(1)");
    case PanelBox::Tmass2: return form1_.box("Tmass(2)");
    case PanelBox::Tvxbase: return form1_.box("Tvxbase");
    case PanelBox::Tvybase: return form1_.box("Tvybase");
    }
    return form1_.box("Tpredsel");
}

std::string PanelRunHost::boxText(PanelBox b) { return box(b).text(); }
void PanelRunHost::setBoxText(PanelBox b, std::string_view text) { box(b).setText(text); }
void PanelRunHost::setEndCaption(std::string_view caption) { form1_.commandEnd().setCaption(caption); }

void PanelRunHost::showDisplays()
{
    form2_.window().show();
    form3_.window().show();
    form2_.window().erase();
}

DisplayGeometry PanelRunHost::prepareDisplays(Scenario scenario)
{
    form3_.layout(scenario);
    return {static_cast<float>(form2_.window().innerWidth()),
            static_cast<float>(form2_.window().innerHeight()),
            static_cast<float>(form3_.window().innerHeight()), form3_.plotWidth()};
}

void PanelRunHost::apsisEvent(const SimState& state, const RunValues& run)
{
    form3_.apsisEvent(state, run);
    if (apsisObserver)
        apsisObserver(run);
}

void PanelRunHost::displayUpdate(const SimState& state, const RunValues& run)
{
    form2_.drawBodies(state, run);
    form1_.box("Tti2j0").setText(FormatRegional(run.delay31, format_));
    form1_.box("Tti1j0").setText(FormatRegional(run.delay21, format_));
    form1_.box("Titer1").setText(FormatRegional(static_cast<long long>(run.k)));
    services_.processPendingEvents();
}

void PanelRunHost::timePlot(const SimState& state, const RunValues& run) { form3_.timePlot(state, run); }

std::int64_t PanelRunHost::sampleEvery(const RunValues& run)
{
    return sampleInterval && sampleObserver ? sampleInterval(run) : 0;
}

void PanelRunHost::samplePass(const SimState& state, const RunValues& run) { sampleObserver(state, run); }

} // namespace gravlag
