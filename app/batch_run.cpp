#include "app/batch_run.h"

#include <array>
#include <charconv>
#include <fstream>
#include <ostream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "app/png_writer.h"
#include "panel/program.h"
#include "ui/headless_services.h"

namespace gravlag {

namespace {

// Shortest text that reads back to the same double, in the C locale whatever the user's.
std::string ExactText(double v)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

nlohmann::json Number(const std::optional<double>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

nlohmann::json Array3(const std::array<double, kBodies>& a) { return {a[0], a[1], a[2]}; }

const char* const kBoxNames[] = {
    "Tn_object", "Tmass(0)", "Tmass(1)", "Tmass(2)", "Dx1", "Dx2", "Tvxbase", "Tvybase",
    "Tmethode", "Titer", "Titer1", "Tdt", "Tc", "Tpredsel", "Tti1j0", "Tti2j0",
    "Tcolor", "TPred", "Ta", "Tb"};

} // namespace

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err)
{
    ui::HeadlessServices services; // the regional format of the C locale: a point
    Program program(services);
    Form1& form1 = program.form1();

    std::ostringstream apsisRows;
    apsisRows.precision(17);
    if (!options.apsisCsv.empty()) {
        apsisRows << "k,apsisCount,apsisAngle,fitA,fitB,predAngle\n";
        form1.onApsisEvent([&](const RunValues& run) {
            apsisRows << run.k << ',' << run.apsisCount << ',' << ExactText(*run.apsisAngle) << ','
                      << ExactText(*run.fitA) << ',' << ExactText(*run.fitB) << ','
                      << ExactText(*run.predAngle) << '\n';
        });
    }

    if (options.scenario == "Mercury")
        services.textBox("Tmethode")->click();
    for (const auto& [name, text] : options.typed)
        services.textBox(name)->type(text);

    bool stopClicked = false;
    if (options.stopAt) {
        const long long stopAt = *options.stopAt;
        services.setIdleHook([&services, &stopClicked, stopAt] {
            // The first hand-over belongs to set-up; every later one follows a display
            // update, which has just written its pass counter into "Active".
            if (stopClicked || services.eventHandOvers() < 2)
                return;
            const double k = ParseLeadingNumber(services.textBox("Titer1")->text());
            if (k >= static_cast<double>(stopAt)) {
                services.queueClick("CommandEnd");
                stopClicked = true;
            }
        });
    }
    services.button("CommandCalc")->click();

    const RunResult& result = *form1.lastRun();
    const SimState& s = program.state();
    const RunValues& v = result.values;

    if (!options.apsisCsv.empty()) {
        std::ofstream f(options.apsisCsv);
        f << apsisRows.str();
        if (!f) {
            err << "--apsis-csv: cannot write " << options.apsisCsv << "\n";
            return 2;
        }
    }
    for (const auto& [file, name] : {std::pair{options.simPng, "Form2"}, std::pair{options.plotPng, "Form3"}}) {
        if (file.empty())
            continue;
        std::string problem;
        if (!WritePng(services.window(name)->surface(), file, problem)) {
            err << (name == std::string("Form2") ? "--sim-png: " : "--plot-png: ") << problem << "\n";
            return 2;
        }
    }

    if (options.json) {
        nlohmann::json j;
        j["ended"] = std::string(RunEndName(result.ended));
        if (result.ended == RunEnd::Fault || result.ended == RunEnd::Refused)
            j["message"] = result.message;
        j["passes"] = result.passes;
        j["lastPass"] = result.lastPass ? nlohmann::json(*result.lastPass) : nlohmann::json(nullptr);
        j["x"] = Array3(s.x);
        j["y"] = Array3(s.y);
        j["vx"] = Array3(s.vx);
        j["vy"] = Array3(s.vy);
        j["delay21"] = Number(v.delay21);
        j["delay31"] = Number(v.delay31);
        j["apsisCount"] = v.apsisCount;
        j["apsisAngle"] = Number(v.apsisAngle);
        j["fitA"] = Number(v.fitA);
        j["fitB"] = Number(v.fitB);
        j["predAngle"] = Number(v.predAngle);
        nlohmann::json boxes = nlohmann::json::object();
        for (const char* name : kBoxNames)
            boxes[name] = services.textBox(name)->text();
        j["boxes"] = boxes;
        out << j.dump() << "\n";
    } else {
        out << "Run " << RunEndName(result.ended) << ": " << result.passes << " passes";
        if (result.lastPass)
            out << " (last pass " << *result.lastPass << ")";
        out << "\n";
        for (int i = 0; i < kBodies; ++i)
            out << "body " << i + 1 << ": x " << ExactText(s.x[static_cast<unsigned>(i)]) << "  y "
                << ExactText(s.y[static_cast<unsigned>(i)]) << "\n";
        out << "t 21 " << services.textBox("Tti1j0")->text() << "   t 31 "
            << services.textBox("Tti2j0")->text() << "\n";
        if (v.apsisCount > 0)
            out << "apsis events " << v.apsisCount << ": a " << ExactText(*v.fitA) << "  b "
                << ExactText(*v.fitB) << "  prediction " << ExactText(*v.predAngle) << "\n";
    }
    if (result.ended == RunEnd::Fault || result.ended == RunEnd::Refused)
        err << "gravlag-batch: " << result.message << "\n";
    return result.ended == RunEnd::Fault ? 3 : result.ended == RunEnd::Refused ? 2 : 0;
}

} // namespace gravlag
