#include "app/batch/batch_run.h"

#include <array>
#include <ostream>
#include <string_view>
#include <tuple>

#include "app/batch/batch_exports.h"
#include "app/files/exact_text.h"
#include "app/files/png_writer.h"
#include "panel/panel_inputs.h"
#include "panel/program.h"
#include "ui/headless/headless_services.h"

namespace gravlag {

namespace {

nlohmann::json Number(const std::optional<double>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

nlohmann::json Array3(const std::array<double, kBodies>& a) { return {a[0], a[1], a[2]}; }

nlohmann::json Report(const RunResult& result, Program& program)
{
    const SimState& s = program.state();
    const RunValues& v = result.values;
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
    j["fitA"] = v.fit ? nlohmann::json(v.fit->fitA) : nlohmann::json(nullptr);
    j["fitB"] = v.fit ? nlohmann::json(v.fit->fitB) : nlohmann::json(nullptr);
    j["predAngle"] = v.fit ? nlohmann::json(v.fit->predAngle) : nlohmann::json(nullptr);
    // Every text box of the panel and of the time evolution display, by its control name.
    nlohmann::json boxes = nlohmann::json::object();
    for (const PanelInput& box : PanelBoxes())
        boxes[box.box] = box.control(program.form1()).text();
    TimeEvolutionDisplay& form3 = program.form3();
    for (const ui::TextBox* box : {&form3.Tcolor, &form3.TPred, &form3.Ta, &form3.Tb})
        boxes[box->name()] = box->text();
    j["boxes"] = boxes;
    return j;
}

void PrintText(const nlohmann::json& j, std::ostream& out)
{
    out << "Run " << j["ended"].get<std::string>() << ": " << j["passes"].get<std::int64_t>() << " passes";
    if (!j["lastPass"].is_null())
        out << " (last pass " << j["lastPass"].get<std::int64_t>() << ")";
    out << "\n";
    for (std::size_t i = 0; i < kBodies; ++i)
        out << "body " << i + 1 << ": x " << ExactText(j["x"][i].get<double>()) << "  y "
            << ExactText(j["y"][i].get<double>()) << "\n";
    const nlohmann::json& boxes = j["boxes"];
    out << "t 21 " << boxes["Tti1j0"].get<std::string>() << "   t 31 "
        << boxes["Tti2j0"].get<std::string>() << "\n";
    if (j["apsisCount"].get<std::int64_t>() > 0)
        out << "apsis events " << j["apsisCount"].get<std::int64_t>() << ": a "
            << ExactText(j["fitA"].get<double>()) << "  b " << ExactText(j["fitB"].get<double>())
            << "  prediction " << ExactText(j["predAngle"].get<double>()) << "\n";
}

} // namespace

int RunBatchReport(const BatchOptions& options, nlohmann::json& report, std::ostream& err)
{
    BatchExports exports;
    std::string problem;
    if (!exports.open(options, problem)) {
        err << "gravlag-batch: " << problem << "\n";
        return 2;
    }

    ui::HeadlessServices services; // the regional format of the C locale: a point
    // Faults inside the windows are reported, but do not end the run.
    const ui::ScopedSubscription problems = services.onProblem(
        [&err](std::string_view problem) { err << "gravlag-batch: " << problem << "\n"; });
    Program program(services);
    Form1& form1 = program.form1();
    exports.attach(form1);

    // The file first, then the command line's scenario and boxes over it.
    ParamFile params = options.params.value_or(ParamFile{});
    if (options.scenario)
        params.scenario = options.scenario;
    ApplyParamFile(params, form1);
    // Box names from the command line, which takes them from the same table.
    for (const auto& [name, text] : options.typed)
        ui::Headless(form1.box(name)).type(text);

    bool stopClicked = false;
    if (options.stopAt) {
        const long long stopAt = *options.stopAt;
        services.setIdleHook([&services, &form1, &stopClicked, stopAt] {
            // The first hand-over belongs to set-up; every later one follows a display
            // update, which has just written its pass counter into "Active".
            if (stopClicked || services.eventHandOvers() < 2)
                return;
            const double k = ParseLeadingNumber(form1.Titer1.text());
            if (k >= static_cast<double>(stopAt)) {
                services.queue([&end = ui::Headless(form1.CommandEnd)] { end.click(); });
                stopClicked = true;
            }
        });
    }
    ui::Headless(form1.CommandCalc).click();

    const RunResult& result = *form1.lastRun();
    report = Report(result, program);

    int status = result.ended == RunEnd::Fault ? 3 : result.ended == RunEnd::Refused ? 2 : 0;
    if (result.ended == RunEnd::Fault || result.ended == RunEnd::Refused)
        err << "gravlag-batch: " << result.message << "\n";
    if (!exports.close(problem)) {
        err << "gravlag-batch: " << problem << "\n";
        status = 2;
    }
    for (const auto& [file, window, option] :
         {std::tuple{options.simPng, &program.form2().window(), "--sim-png: "},
          std::tuple{options.plotPng, &program.form3().window(), "--plot-png: "}}) {
        if (file.empty())
            continue;
        if (!WritePng(ui::Headless(*window).surface(), file, problem)) {
            err << "gravlag-batch: " << option << problem << "\n";
            status = 2;
        }
    }
    return status;
}

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err)
{
    nlohmann::json report;
    const int status = RunBatchReport(options, report, err);
    if (report.is_null())
        return status;
    if (options.json)
        out << report.dump() << "\n";
    else
        PrintText(report, out);
    return status;
}

} // namespace gravlag
