#include "app/batch/batch_run.h"

#include <array>
#include <ostream>
#include <string_view>
#include <tuple>

#include "app/batch/batch_exports.h"
#include "app/batch/batch_outputs.h"
#include "app/batch/stop_signals.h"
#include "app/files/exact_text.h"
#include "app/files/output_file.h"
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
    // A refused run changed nothing: the bodies and boxes it would show are not its result.
    if (j["ended"] == "refused") {
        out << "Run refused: " << j["message"].get<std::string>() << "\n";
        return;
    }
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

int Rank(int status)
{
    if (status == kExitRefused)
        return 4;
    if (status == kExitOutput)
        return 3;
    if (status >= kExitSignalBase)
        return 2;
    return status == kExitFault ? 1 : 0;
}

} // namespace

int WorseStatus(int a, int b) { return Rank(b) > Rank(a) ? b : a; }

std::string JsonLine(const nlohmann::json& j)
{
    return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int RunBatchReport(const BatchOptions& options, nlohmann::json& report, std::ostream& err)
{
    std::string problem;
    if (!CheckOutputClashes(options, problem)) {
        err << "gravlag-batch: " << problem << "\n";
        return kExitRefused;
    }
    if (const int signal = StopSignal(); signal != 0) { // nothing started, nothing written
        err << "gravlag-batch: " << SignalName(signal) << " before the run started\n";
        return kExitSignalBase + signal;
    }
    BatchExports exports;
    if (!exports.open(options, problem)) {
        err << "gravlag-batch: " << problem << "\n";
        return kExitRefused;
    }
    struct Picture {
        const char* option;
        const std::string& path;
        OutputFile file;
        ui::Window* window = nullptr; // known once the program is up
    };
    Picture pictures[] = {{"--sim-png", options.simPng, {}}, {"--plot-png", options.plotPng, {}}};
    for (Picture& p : pictures)
        if (!p.path.empty() && !p.file.open(p.path)) {
            err << "gravlag-batch: " << p.option << ": " << p.file.error() << "\n";
            return kExitRefused;
        }

    ui::HeadlessServices services(options.regional);
    // Faults inside the windows are reported, but do not end the run.
    const ui::ScopedSubscription problems = services.onProblem(
        [&err](std::string_view problem) { err << "gravlag-batch: " << problem << "\n"; });
    Program program(services);
    Form1& form1 = program.form1();
    pictures[0].window = &program.form2().window();
    pictures[1].window = &program.form3().window();
    exports.attach(form1);

    // The file first, then the command line's scenario and boxes over it.
    ParamFile params = options.params.value_or(ParamFile{});
    if (options.scenario)
        params.scenario = options.scenario;
    ApplyParamFile(params, form1);
    // Box names from the command line, which takes them from the same table.
    for (const auto& [name, text] : options.typed)
        ui::Headless(form1.box(name)).type(text);

    // "Stop" is clicked at a hand-over, as a person would: for a signal at the first one,
    // for --stop-at at the first display update at or after its pass.
    bool stopClicked = false;
    int stoppedBy = 0;
    services.setIdleHook([&] {
        if (stopClicked)
            return;
        const auto clickStop = [&] {
            services.queue([&end = ui::Headless(form1.CommandEnd)] { end.click(); });
            stopClicked = true;
        };
        if (const int signal = StopSignal(); signal != 0) {
            clickStop();
            stoppedBy = signal;
            return;
        }
        // The first hand-over belongs to set-up; every later one follows a display update,
        // which has just written its pass counter into "Active".
        if (!options.stopAt || services.eventHandOvers() < 2)
            return;
        const double k = ParseLeadingNumber(form1.Titer1.text());
        if (k >= static_cast<double>(*options.stopAt))
            clickStop();
    });
    ui::Headless(form1.CommandCalc).click();

    RunResult result = *form1.lastRun();
    if (!exports.refusal().empty()) {
        result.ended = RunEnd::Refused;
        result.message = exports.refusal();
    }
    if (result.ended == RunEnd::Refused) {
        exports.discard(); // the destructors would; said here because it is the point
        err << "gravlag-batch: " << result.message << "\n";
        report = Report(result, program);
        report["outputErrors"] = nlohmann::json::array();
        return kExitRefused;
    }
    if (result.ended == RunEnd::Fault)
        err << "gravlag-batch: " << result.message << "\n";
    if (result.ended == RunEnd::Stopped && stoppedBy != 0)
        err << "gravlag-batch: " << SignalName(stoppedBy) << ": stopped after "
            << (result.lastPass ? "pass " + std::to_string(*result.lastPass) : std::string("set-up"))
            << ", its files complete up to there\n";

    std::vector<std::string> outputErrors;
    exports.commit(outputErrors);
    for (Picture& p : pictures) {
        if (p.path.empty())
            continue;
        const std::string png = EncodePng(ui::Headless(*p.window).surface());
        if (png.empty()) {
            p.file.discard();
            outputErrors.push_back(std::string(p.option) + ": cannot encode the picture as PNG");
            continue;
        }
        p.file.write(png);
        if (!p.file.commit())
            outputErrors.push_back(std::string(p.option) + ": " + p.file.error());
    }
    for (const std::string& e : outputErrors)
        err << "gravlag-batch: " << e << "\n";

    report = Report(result, program);
    if (result.ended == RunEnd::Stopped && stoppedBy != 0)
        report["signal"] = SignalName(stoppedBy);
    report["outputErrors"] = outputErrors;

    int status = result.ended == RunEnd::Fault ? kExitFault : kExitCompleted;
    if (const int signal = StopSignal(); signal != 0)
        status = WorseStatus(status, kExitSignalBase + signal);
    if (!outputErrors.empty())
        status = WorseStatus(status, kExitOutput);
    return status;
}

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err)
{
    nlohmann::json report;
    const int status = RunBatchReport(options, report, err);
    if (report.is_null())
        return status;
    if (options.json)
        out << JsonLine(report) << "\n";
    else
        PrintText(report, out);
    return status;
}

} // namespace gravlag
