#include "app/files/report_json.h"

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>

#include "app/files/exact_text.h"

namespace gravlag {

namespace {

nlohmann::json Number(const std::optional<double>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

// A whole number as an integer where a double holds every integer up to it (2^53), beyond
// as a double; null when it is not finite.
nlohmann::json WholeNumber(double v)
{
    constexpr double kExact = 9007199254740992.0; // 2^53
    if (!std::isfinite(v))
        return nullptr;
    if (std::fabs(v) <= kExact)
        return static_cast<std::int64_t>(v);
    return v;
}

nlohmann::json ElementsJson(const OrbitElements& el)
{
    return {{"a", Number(el.a)}, {"e", Number(el.e)}, {"varpi", Number(el.varpi)},
            {"period", Number(el.period)}};
}

nlohmann::json DriftJson(const DriftReport& d)
{
    return {{"start", Number(d.start)}, {"end", Number(d.end)}, {"relChange", Number(d.relChange)}};
}

nlohmann::json TheoryJson(const TheoryValues& t)
{
    return {{"delayDaPerOrbit", Number(t.delayDaPerOrbit)},
            {"delayDePerOrbit", Number(t.delayDePerOrbit)},
            {"delayDvarpiPerOrbit", Number(t.delayDvarpiPerOrbit)},
            {"perturberPrecessionPerOrbit", Number(t.perturberPrecessionPerOrbit)},
            {"grPrecessionPerOrbit", Number(t.grPrecessionPerOrbit)}};
}

nlohmann::json Flag(const std::optional<bool>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

// The convergence's four fields added to `j`, under `key` in each where a key is given.
void AddConvergenceJson(nlohmann::json& j, const Convergence& c, const char* key = nullptr)
{
    const std::pair<const char*, nlohmann::json> fields[] = {
        {"limit", Number(c.limit)},
        {"order", Number(c.order)},
        {"discretizationError", Number(c.discretizationError)},
        {"flagged", Flag(c.flagged)}};
    for (const auto& [name, value] : fields)
        (key ? j[name][key] : j[name]) = value;
}

nlohmann::json EstimateJson(const Estimate& e)
{
    nlohmann::json j = {{"value", Number(e.value)}, {"stdError", Number(e.stdError)}};
    if (e.convergence)
        AddConvergenceJson(j, *e.convergence);
    return j;
}

} // namespace

nlohmann::json AnalysisJson(const RunReport& r)
{
    const ElementRates& rates = r.elements.rates;
    nlohmann::json j = nlohmann::json::object();
    j["orbits"] = {{"count", r.orbits.count}, {"t", r.orbits.t}};
    j["elements"] = {
        {"start", ElementsJson(r.elements.start)},
        {"end", ElementsJson(r.elements.end)},
        {"rates",
         {{"daPerOrbit", Number(rates.daPerOrbit)},
          {"dePerOrbit", Number(rates.dePerOrbit)},
          {"dvarpiPerOrbit", Number(rates.dvarpiPerOrbit)},
          {"stdError",
           {{"daPerOrbit", Number(rates.stdError.daPerOrbit)},
            {"dePerOrbit", Number(rates.stdError.dePerOrbit)},
            {"dvarpiPerOrbit", Number(rates.stdError.dvarpiPerOrbit)}}}}}};
    j["precession"] = {{"perOrbit", Number(r.precession.perOrbit)},
                       {"stdError", Number(r.precession.stdError)},
                       {"events", r.precession.events}};
    if (rates.convergence) {
        nlohmann::json& jr = j["elements"]["rates"];
        AddConvergenceJson(jr, rates.convergence->daPerOrbit, "daPerOrbit");
        AddConvergenceJson(jr, rates.convergence->dePerOrbit, "dePerOrbit");
        AddConvergenceJson(jr, rates.convergence->dvarpiPerOrbit, "dvarpiPerOrbit");
    }
    if (r.precession.convergence)
        AddConvergenceJson(j["precession"], *r.precession.convergence);
    j["energy"] = DriftJson(r.energy);
    j["angularMomentum"] = DriftJson(r.angularMomentum);
    j["momentum"] = {{"start", Number(r.momentum.start)}, {"end", Number(r.momentum.end)},
                     {"change", Number(r.momentum.change)}};
    j["delay"] = {{"maxSteps", nullptr}, {"passesBeyondHistory", nullptr}};
    if (r.delay)
        j["delay"] = {{"maxSteps", WholeNumber(r.delay->maxSteps)},
                      {"passesBeyondHistory", r.delay->passesBeyondHistory}};
    j["theory"] = r.theory ? TheoryJson(*r.theory) : nlohmann::json(nullptr);
    j["warnings"] = nlohmann::json::array();
    for (const Warning& w : r.warnings)
        j["warnings"].push_back(w.text);
    return j;
}

nlohmann::json BudgetJson(const Budget& b)
{
    const bool precession = b.quantity == BudgetQuantity::Precession;
    nlohmann::json j = nlohmann::json::object();
    j["quantity"] = precession ? "precession" : "daPerOrbit";
    j["integrator"] = EstimateJson(b.integrator);
    j["perturber"] = EstimateJson(b.perturber);
    j["delay"] = EstimateJson(b.delay);
    j["delayTwoBodies"] = EstimateJson(b.delayTwoBodies);
    j["total"] = EstimateJson(b.total);
    const TheoryValues t = b.theory.value_or(TheoryValues{});
    if (precession)
        j["theory"] = {{"perturberPrecessionPerOrbit", Number(t.perturberPrecessionPerOrbit)},
                       {"delayDvarpiPerOrbit", Number(t.delayDvarpiPerOrbit)},
                       {"grPrecessionPerOrbit", Number(t.grPrecessionPerOrbit)}};
    else
        j["theory"] = {{"delayDaPerOrbit", Number(t.delayDaPerOrbit)}};
    return j;
}

nlohmann::json ModelJson(const Model& model)
{
    const bool euler = model.integrator == Integrator::Euler;
    nlohmann::json j = nlohmann::json::object();
    j["integrator"] = std::string(IntegratorName(model.integrator));
    j["forceLaw"] = std::string(ForceLawName(model.forceLaw));
    j["tolerance"] = euler ? nlohmann::json(nullptr) : nlohmann::json(model.tolerance);
    j["past"] = euler ? nlohmann::json(nullptr) : nlohmann::json(std::string(kReferencePast));
    return j;
}

std::string ModelText(const Model& model)
{
    std::string text = "model: " + std::string(IntegratorName(model.integrator)) + " integrator, "
        + std::string(ForceLawName(model.forceLaw)) + " force law";
    if (model.integrator != Integrator::Euler)
        text += ", tolerance " + ExactText(model.tolerance) + "; " + std::string(kReferencePast);
    return text;
}

} // namespace gravlag
