#include "app/files/report_text.h"

#include <charconv>
#include <cstdint>

namespace gravlag {

namespace {

std::string Digits(const nlohmann::json& v, int precision)
{
    if (!v.is_number())
        return "none";
    if (v.is_number_integer())
        return std::to_string(v.get<std::int64_t>());
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, v.get<double>(),
                                   std::chars_format::general, precision);
    return std::string(buffer, end.ptr);
}

std::string Value(const nlohmann::json& v) { return Digits(v, 7); }

// "value ± error", or the value alone where the error is null.
std::string WithError(const nlohmann::json& value, const nlohmann::json& error)
{
    if (!value.is_number() || !error.is_number())
        return Value(value);
    return Value(value) + " ± " + Digits(error, 2);
}

// "limit L (order p, discretization error E, more than its standard error)" of an object
// holding the four fields, or of its entries under `key`; empty where there are none.
std::string Converged(const nlohmann::json& j, const char* key = nullptr)
{
    if (!j.contains("limit"))
        return "";
    const auto field = [&](const char* name) -> const nlohmann::json& {
        return key ? j[name][key] : j[name];
    };
    std::string t = "limit " + Value(field("limit")) + " (order " + Digits(field("order"), 3)
        + ", discretization error " + Digits(field("discretizationError"), 2);
    if (field("flagged") == true)
        t += ", more than its standard error";
    return t + ")";
}

std::string Padded(std::string s, std::size_t width)
{
    // The ± and the em dash take more than one byte for one column.
    std::size_t columns = 0;
    for (const char c : s)
        columns += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    if (columns < width)
        s.append(width - columns, ' ');
    return s;
}

} // namespace

std::string AnalysisText(const nlohmann::json& a, Scenario scenario, int first, int second)
{
    const bool mercury = scenario == Scenario::Mercury;
    const std::string pair = "body " + std::to_string(second) + " about body " + std::to_string(first);
    std::string t = "analysis (lengths in the units of the separations, times in the units of dt, "
                    "angles in degrees; per orbit of " + pair + ")\n";
    t += "  orbits: " + Value(a["orbits"]["count"])
        + (mercury ? " apsis events" : " turns of " + pair) + " in t "
        + Value(a["orbits"]["t"]) + "\n";
    const nlohmann::json& el = a["elements"];
    t += "  elements of " + pair + ":\n    " + Padded("", 25) + Padded("start", 16) + "end\n";
    for (const auto& [key, name] : {std::pair{"a", "a (semi-major axis)"},
                                    {"e", "e (eccentricity)"},
                                    {"varpi", "varpi (pericentre)"},
                                    {"period", "period"}})
        t += "    " + Padded(name, 25) + Padded(Value(el["start"][key]), 16) + Value(el["end"][key]) + "\n";
    const nlohmann::json& rates = el["rates"];
    const nlohmann::json& se = rates["stdError"];
    t += "  rates per orbit: da " + WithError(rates["daPerOrbit"], se["daPerOrbit"]) + ", de "
        + WithError(rates["dePerOrbit"], se["dePerOrbit"]) + ", dvarpi "
        + WithError(rates["dvarpiPerOrbit"], se["dvarpiPerOrbit"]) + "\n";
    if (rates.contains("limit"))
        t += "  toward dt -> 0 (the same time at dt, dt/2, dt/4):\n    da " + Converged(rates, "daPerOrbit")
            + "\n    de " + Converged(rates, "dePerOrbit") + "\n    dvarpi "
            + Converged(rates, "dvarpiPerOrbit") + "\n";
    const nlohmann::json& p = a["precession"];
    t += "  precession (slope b of the apsis line): "
        + WithError(p["perOrbit"], p["stdError"]) + " per orbit, " + Value(p["events"])
        + " apsis events\n";
    if (p.contains("limit"))
        t += "    toward dt -> 0: " + Converged(p) + "\n";
    for (const auto& [key, name] : {std::pair{"energy", "energy"}, {"angularMomentum", "angular momentum"}})
        t += "  " + std::string(name) + ": start " + Value(a[key]["start"]) + ", end "
            + Value(a[key]["end"]) + ", relative change " + Value(a[key]["relChange"]) + "\n";
    t += "  momentum: start " + Value(a["momentum"]["start"]) + ", end " + Value(a["momentum"]["end"])
        + ", change " + Value(a["momentum"]["change"]) + "\n";
    const nlohmann::json& d = a["delay"];
    if (d["maxSteps"].is_null())
        t += "  delay: not recorded in this run\n";
    else
        t += "  delay: at most " + Value(d["maxSteps"]) + " steps; " + Value(d["passesBeyondHistory"])
            + " passes looked up 20 steps back or more\n";
    for (const nlohmann::json& w : a.value("warnings", nlohmann::json::array()))
        if (w.is_string())
            t += "  warning: " + w.get<std::string>() + "\n";
    const nlohmann::json& th = a["theory"];
    if (th.is_null()) {
        t += "  theory: none applies (no delay, no outer body, or an orbit that is not bound)\n";
        return t;
    }
    t += "  theory, to first order:\n";
    if (!th["delayDaPerOrbit"].is_null())
        t += "    the inner pair's own delayed pull, its centre of mass at rest: da "
            + Value(th["delayDaPerOrbit"]) + ", de " + Value(th["delayDePerOrbit"]) + ", dvarpi "
            + Value(th["delayDvarpiPerOrbit"]) + " per orbit\n";
    if (!th["perturberPrecessionPerOrbit"].is_null())
        t += "    the outer body as a ring about the pair: precession "
            + Value(th["perturberPrecessionPerOrbit"]) + " per orbit\n";
    if (!th["grPrecessionPerOrbit"].is_null())
        t += "    general relativity, for comparison only (not part of this model): precession "
            + Value(th["grPrecessionPerOrbit"]) + " per orbit\n";
    return t;
}

std::string BudgetText(const nlohmann::json& b)
{
    const bool precession = b["quantity"] == "precession";
    const nlohmann::json& th = b["theory"];
    std::string t = precession
        ? "budget of the precession (degrees per orbit; the apsis line's b of this run and of "
          "three companion runs of the same texts)\n"
        : "budget of the widening da per orbit (length units per orbit; of this run and of three "
          "companion runs of the same texts)\n";
    struct Row {
        const char* key;
        const char* name;
        std::string theory;
    };
    const std::string delayTheory = precession ? Value(th["delayDvarpiPerOrbit"]) : Value(th["delayDaPerOrbit"]);
    const Row rows[] = {
        {"integrator", "integrator (2 bodies, c 0)", ""},
        {"perturber", "outer body (3 less 2 bodies, c 0)",
         precession ? Value(th["perturberPrecessionPerOrbit"]) : ""},
        {"delay", "delay (this run less its texts at c 0)", delayTheory},
        {"delayTwoBodies", "delay, 2 bodies (at c less at c 0)", delayTheory},
        {"total", "total (this run)", ""},
    };
    for (const Row& r : rows) {
        std::string line = "  " + Padded(r.name, 42) + WithError(b[r.key]["value"], b[r.key]["stdError"]);
        if (!r.theory.empty() && r.theory != "none")
            line = Padded(line, 80) + "theory " + r.theory;
        t += line + "\n";
        if (const std::string c = Converged(b[r.key]); !c.empty())
            t += "    toward dt -> 0: " + c + "\n";
    }
    if (delayTheory != "none")
        t += "  the delay's theory is the inner pair's own delayed pull with its centre of mass at "
             "rest: compare delay, 2 bodies with it\n";
    if (precession && !th["grPrecessionPerOrbit"].is_null())
        t += "  general relativity, for comparison only (not part of this model): "
            + Value(th["grPrecessionPerOrbit"]) + "\n";
    return t;
}

} // namespace gravlag
