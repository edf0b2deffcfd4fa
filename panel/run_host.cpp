#include "panel/run_host.h"

#include <bit>
#include <cstdint>
#include <numeric>
#include <stdexcept>
#include <string>

#include "displays/simulation_display.h"
#include "displays/time_evolution_display.h"
#include "panel/form1.h"

namespace gravlag {

PanelRunHost::PanelRunHost(ui::WindowServices& services, Form1& form1, const SimState& state,
                           SimulationDisplay& form2, TimeEvolutionDisplay& form3, RunHooks& hooks)
    : services_(services), form1_(form1), state_(state), form2_(form2), form3_(form3), hooks_(hooks)
{
}

ui::TextBox& PanelRunHost::box(PanelBox b)
{
    switch (b) {
    case PanelBox::Tpredsel: return form1_.Tpredsel;
    case PanelBox::Titer: return form1_.Titer;
    case PanelBox::Tn_object: return form1_.Tn_object;
    case PanelBox::Tmass0: return form1_.Tmass[0];
    case PanelBox::Tmass1: return form1_.Tmass[1];
    case PanelBox::Tmass2: return form1_.Tmass[2];
    case PanelBox::Tvxbase: return form1_.Tvxbase;
    case PanelBox::Tvybase: return form1_.Tvybase;
    }
    throw std::invalid_argument("no panel box numbered " + std::to_string(static_cast<int>(b)));
}

std::string PanelRunHost::boxText(PanelBox b) { return box(b).text(); }
void PanelRunHost::setBoxText(PanelBox b, std::string_view text) { box(b).setText(text); }
std::variant<RunInputs, std::string> PanelRunHost::runInputs(const SimState& state)
{
    format_ = services_.regionalFormat();
    delay21Text_.forget();
    delay31Text_.forget();
    return reader_.read(*this, format_, state, form1_.model);
}

void PanelRunHost::setEndCaption(std::string_view caption)
{
    form1_.CommandEnd.setCaption(caption);
}

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
    hooks_.apsisEvent(state, run);
}

void PanelRunHost::displayUpdate(const SimState& state, const RunValues& run)
{
    form2_.drawBodies(state, run);
    form1_.Tti2j0.setText(delay31Text_.of(run.delay31, format_));
    form1_.Tti1j0.setText(delay21Text_.of(run.delay21, format_));
    form1_.Titer1.setText(FormatRegional(static_cast<long long>(run.k)));
    services_.processPendingInput();
}

std::string_view PanelRunHost::DelayText::of(const std::optional<double>& delay,
                                             const RegionalFormat& format)
{
    // The same double, bit for bit, or none both times: the same text.
    const bool same = known_ && delay.has_value() == delay_.has_value()
        && (!delay || std::bit_cast<std::uint64_t>(*delay) == std::bit_cast<std::uint64_t>(*delay_));
    if (!same) {
        text_ = FormatRegional(delay, format);
        delay_ = delay;
        known_ = true;
    }
    return text_;
}

void PanelRunHost::timePlot(const SimState& state, const RunValues& run) { form3_.timePlot(state, run); }

// The run asks for its sampling interval once, right after its set-up and before pass 0:
// that is where it begins for the subscribers. The run samples at the greatest common
// divisor of the subscribers' intervals, and each takes the passes of its own.
std::int64_t PanelRunHost::sampleEvery(const RunValues& run)
{
    hooks_.begin(state_, run);
    std::int64_t every = 0;
    hooks_.samples.forEach([&](SampleSubscriber& s) {
        const std::int64_t n = s.interval && s.sample ? s.interval(state_, run) : 0;
        s.every = n > 0 ? n : 0;
        every = std::gcd(every, s.every);
    });
    return every;
}

void PanelRunHost::samplePass(const SimState& state, const RunValues& run)
{
    hooks_.samples.forEach([&](const SampleSubscriber& s) {
        if (s.every > 0 && run.k % s.every == 0)
            s.sample(state, run);
    });
}

} // namespace gravlag
