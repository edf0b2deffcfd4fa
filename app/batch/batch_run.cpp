#include "app/batch/batch_run.h"

#include <array>
#include <atomic>
#include <cmath>
#include <exception>
#include <ostream>
#include <sstream>
#include <string_view>
#include <thread>
#include <tuple>
#include <vector>

#include "app/batch/batch_exports.h"
#include "app/batch/batch_outputs.h"
#include "app/batch/problem.h"
#include "app/batch/run_sink.h"
#include "app/batch/stop_signals.h"
#include "app/batch/thread_start.h"
#include "app/files/exact_text.h"
#include "app/files/inputs_json.h"
#include "app/files/output_file.h"
#include "app/files/param_file.h"
#include "app/files/png_writer.h"
#include "app/files/report_json.h"
#include "app/files/report_text.h"
#include "core/analysis/budget.h"
#include "core/analysis/converged_report.h"
#include "panel/panel_inputs.h"
#include "panel/program.h"
#include "panel/run_reporter.h"
#include "ui/headless/headless_services.h"

namespace gravlag {

namespace {

nlohmann::json Number(const std::optional<double>& v)
{
    return v ? nlohmann::json(*v) : nlohmann::json(nullptr);
}

nlohmann::json Array3(const std::array<double, kBodies>& a) { return {a[0], a[1], a[2]}; }

nlohmann::json Report(const RunResult& result, Program& program, const RegionalFormat& format)
{
    const SimState& s = program.state();
    const RunValues& v = result.values;
    // Made an object here, not by its first key: nlohmann::json turns a null value into an
    // object with its type set before the object is allocated, and a value left so by a
    // refused allocation crashes when it is freed.
    nlohmann::json j = nlohmann::json::object();
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
    j["inputs"] = InputsJson(program.form1(), s, format);
    j["model"] = ModelJson(program.form1().model);
    return j;
}

void PrintText(const nlohmann::json& j, const Model& model, std::ostream& out)
{
    // A refused run changed nothing: the bodies and boxes it would show are not its result.
    if (j["ended"] == "refused") {
        out << "Run refused: " << j["message"].get<std::string>() << "\n";
        return;
    }
    out << "Run " << j["ended"].get<std::string>() << ": " << j["passes"].get<std::int64_t>() << " passes";
    if (!j["lastPass"].is_null())
        out << " (last pass " << j["lastPass"].get<std::int64_t>() << ")";
    out << "\n" << ModelText(model) << "\n";
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

// What one run gives: its status, its --json object and, with an analysis, its report.
struct RunOutcome {
    int status = 0;
    nlohmann::json report; // null when no run was made
    std::optional<RunReport> analysis;
};

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

std::optional<std::int64_t> DurationPasses(double duration, std::string_view dtText)
{
    double dt = ParseLeadingNumber(NormalizeDecimalText(dtText));
    if (dt == 0)
        dt = 0.001;
    const double passes = std::nearbyint(duration / dt);
    if (!(passes >= 0) || !(passes <= 1e18))
        return std::nullopt;
    return static_cast<std::int64_t>(passes);
}

namespace {

// The texts a run of --converge types over "dt" and "Iteration" (see dtDivisor); false with
// `problem` where the finer step or the longer run cannot be typed as the exact number.
bool RefineStep(Form1& form1, const BatchOptions& options, std::string& problem)
{
    const auto retype = [&](const char* box, double value) {
        const PanelInput& input = *FindPanelInputByBox(box);
        const std::string text = BoxTextOfNumber(value, input, options.regional);
        ui::TextBox& control = input.control(form1);
        ui::Headless(control).type(text);
        // Read back as the run will read it.
        const std::optional<double> read = input.regional
            ? RegionalNumberValue(control.text(), options.regional)
            : std::optional<double>(ParseLeadingNumber(NormalizeDecimalText(control.text())));
        if (read == value)
            return true;
        problem = "--converge: " + std::string(input.label) + " " + ExactText(value)
            + " cannot be typed exactly";
        return false;
    };
    const double divisor = options.dtDivisor;
    double dt = ParseLeadingNumber(NormalizeDecimalText(form1.Tdt.text()));
    if (dt == 0)
        dt = 0.001; // as "Calculate" takes it
    if (!retype("Tdt", dt / divisor))
        return false;
    if (options.duration)
        return true; // --duration sets "Iteration" from the finer dt
    const std::optional<double> iterations = RegionalNumberValue(form1.Titer.text(), options.regional);
    return !iterations || retype("Titer", *iterations * divisor); // not a number: the run refuses it
}

RunOutcome RunOnce(const BatchOptions& options, BatchProblems& problems)
{
    RunOutcome outcome;
    nlohmann::json& report = outcome.report;
    std::string problem;
    // Refused before anything is written; the status is the kind's.
    const auto refuse = [&](BatchProblem p) {
        outcome.status = ExitStatusOf(p.kind);
        problems.push_back(std::move(p));
        return std::move(outcome);
    };
    if (!CheckOutputClashes(options, problem))
        return refuse({ProblemKind::Refused, {}, problem});
    if (const int signal = StopSignal(); signal != 0) { // nothing started, nothing written
        problems.push_back({ProblemKind::Stopped, {}, std::string(SignalName(signal)) + " before the run started"});
        outcome.status = kExitSignalBase + signal;
        return outcome;
    }
    BatchExports exports;
    if (!exports.open(options, problem))
        return refuse({ProblemKind::Refused, {}, problem});
    struct Picture {
        const char* option;
        const std::string& path;
        OutputFile file;
        ui::Window* window = nullptr; // known once the program is up
    };
    Picture pictures[] = {{OptionOf(&BatchOptions::simPng), options.simPng, {}},
                          {OptionOf(&BatchOptions::plotPng), options.plotPng, {}}};
    for (Picture& p : pictures)
        if (!p.path.empty() && !p.file.open(p.path))
            return refuse({ProblemKind::Refused, p.option, p.file.error()});

    ui::HeadlessServices services(options.regional);
    // Faults inside the windows are reported, but do not end the run.
    const ui::ScopedSubscription windowProblems = services.onProblem(
        [&problems](std::string_view problem) { problems.push_back({ProblemKind::Internal, {}, std::string(problem)}); });
    Program program(services);
    Form1& form1 = program.form1();
    pictures[0].window = &program.form2().window();
    pictures[1].window = &program.form3().window();
    // A display nobody will see is not drawn on: its calls still come, its pixels do not.
    const bool sinkTakesPictures = options.sink && options.sink->wantsPictures();
    for (Picture& p : pictures)
        if (p.path.empty() && !sinkTakesPictures)
            ui::Headless(*p.window).leaveUnread();
    exports.attach(form1);
    ui::ScopedSubscription begun;
    if (options.sink)
        begun = form1.onRunBegin([&](const SimState& state, const RunValues& run) {
            if (!options.sink->begin(state, run, form1.model))
                program.state().stopFlag = StopRequest::Stop;
        });
    std::optional<RunReporter> reporter;
    if (options.report || options.budget)
        reporter.emplace(form1);

    // The file first, then the command line's scenario and boxes over it.
    ParamFile params = options.params.value_or(ParamFile{});
    if (options.scenario)
        params.scenario = options.scenario;
    ApplyParamFile(params, form1);
    form1.model = BatchModel(options);
    // Box names from the command line, which takes them from the same table.
    for (const auto& [name, text] : options.typed)
        ui::Headless(form1.box(name)).type(text);
    if (options.dtDivisor > 1 && !RefineStep(form1, options, problem)) {
        exports.discard();
        return refuse({ProblemKind::Refused, {}, problem});
    }
    // --duration last, from the "dt" the run will take: in a sweep over dt every point
    // covers the same time.
    if (options.duration) {
        const std::optional<std::int64_t> passes = DurationPasses(*options.duration, form1.Tdt.text());
        if (!passes) {
            exports.discard();
            return refuse({ProblemKind::Refused, {},
                           "--duration " + ExactText(*options.duration) + " with dt \"" + form1.Tdt.text()
                               + "\" is not a number of passes from 0 to 10^18"});
        }
        ui::Headless(form1.Titer).type(RegionalNumberText(static_cast<long long>(*passes)));
    }

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
        problems.push_back({ProblemKind::Refused, {}, result.message});
        report = Report(result, program, options.regional);
        report["outputErrors"] = nlohmann::json::array();
        if (reporter)
            report["analysis"] = nullptr;
        outcome.status = kExitRefused;
        return outcome;
    }
    if (result.ended == RunEnd::Fault)
        problems.push_back({ProblemKind::Fault, {}, result.message});
    if (result.ended == RunEnd::Stopped && stoppedBy != 0)
        problems.push_back({ProblemKind::Stopped, std::string(SignalName(stoppedBy)),
                            "stopped after "
                                + (result.lastPass ? "pass " + std::to_string(*result.lastPass) : std::string("set-up"))
                                + ", its files complete up to there"});

    std::vector<std::string> outputErrors; // "option: reason", as the report lists them
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
        problems.push_back({ProblemKind::Output, {}, e});
    if (options.sink && options.sink->wantsPictures())
        options.sink->pictures(ui::Headless(*pictures[0].window).takePaper(),
                               ui::Headless(*pictures[1].window).takePaper());

    report = Report(result, program, options.regional);
    if (result.ended == RunEnd::Stopped && stoppedBy != 0)
        report["signal"] = SignalName(stoppedBy);
    report["outputErrors"] = outputErrors;
    if (reporter) {
        outcome.analysis = reporter->latest();
        report["analysis"] = outcome.analysis ? AnalysisJson(*outcome.analysis) : nlohmann::json(nullptr);
    }

    int status = result.ended == RunEnd::Fault ? ExitStatusOf(ProblemKind::Fault) : kExitCompleted;
    if (const int signal = StopSignal(); signal != 0)
        status = WorseStatus(status, kExitSignalBase + signal);
    if (!outputErrors.empty())
        status = WorseStatus(status, ExitStatusOf(ProblemKind::Output));
    outcome.status = status;
    return outcome;
}

// The companions of a budget: the run's options with no files, the analysis on, and the
// texts typed last that make each.
struct Companion {
    const char* name;
    std::vector<std::pair<std::string, std::string>> texts; // box, text
};
const Companion kCompanions[] = {
    {"the same texts at c 0", {{"Tc", "0"}}},
    {"\"n object\" 2 at c 0", {{"Tn_object", "2"}, {"Tc", "0"}}},
    {"\"n object\" 2 at the run's c", {{"Tn_object", "2"}}},
};

// A run made beside the asked one: its options with no files, the analysis on, nothing
// made beside it in turn.
BatchOptions BesideOptions(const BatchOptions& run)
{
    BatchOptions o = run;
    for (const OutputOption& output : OutputOptions())
        (o.*output.path).clear();
    o.sink = nullptr;
    o.report = true;
    o.budget = false;
    o.converge = false;
    return o;
}

BatchOptions CompanionOptions(const BatchOptions& run, const Companion& companion)
{
    BatchOptions o = BesideOptions(run);
    // 1pn has no c 0: its limit there, the Newtonian pull, stands for it.
    const bool atC0 = std::any_of(companion.texts.begin(), companion.texts.end(),
                                  [](const auto& t) { return t.first == "Tc" && t.second == "0"; });
    if (atC0 && BatchModel(run).forceLaw == ForceLaw::PostNewtonian1)
        o.forceLaw = ForceLaw::Instantaneous;
    for (const auto& [box, text] : companion.texts)
        TypeOver(o, box, text);
    return o;
}

// The dt divisors of --converge: the run itself, then at dt/2 and dt/4.
constexpr int kRefinements[] = {1, 2, 4};

// The run and the runs made beside it: the budget's three companions, and with --converge
// all of them again at dt/2 and dt/4; on up to options.companionJobs threads. The run's
// problems first, then each other run's, named.
RunOutcome RunWithCompanions(const BatchOptions& options, BatchProblems& problems)
{
    const std::size_t perStep = options.budget ? 1 + std::size(kCompanions) : 1;
    const std::size_t steps = options.converge ? std::size(kRefinements) : 1;
    std::vector<BatchOptions> runs;
    std::vector<std::string> names; // how a problem of each names its run; the run's own: none
    for (std::size_t step = 0; step < steps; ++step) {
        BatchOptions run = options;
        run.report = true;
        std::string at;
        if (step > 0) {
            const int divisor = kRefinements[step];
            run = BesideOptions(options);
            run.dtDivisor = divisor;
            if (run.stopAt)
                run.stopAt = *run.stopAt * divisor;
            at = " at dt/" + std::to_string(divisor);
        }
        runs.push_back(run);
        names.push_back("converge run" + at);
        if (options.budget)
            for (const Companion& c : kCompanions) {
                runs.push_back(CompanionOptions(run, c));
                names.push_back("budget run " + std::string(c.name) + at);
            }
    }
    std::vector<RunOutcome> outcomes(runs.size());
    std::vector<BatchProblems> said(runs.size());
    std::vector<std::exception_ptr> thrown(runs.size()); // out of memory: passed on once all are back
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i; (i = next++) < runs.size();) {
            try {
                outcomes[i] = RunOnce(runs[i], said[i]);
            } catch (...) {
                thrown[i] = std::current_exception();
            }
        }
    };
    {
        const std::size_t threads = std::clamp<std::size_t>(options.companionJobs, 1, runs.size());
        std::vector<std::jthread> helpers;
        if (const std::string reason = StartThreads(helpers, threads - 1, work); !reason.empty())
            problems.push_back({ProblemKind::Notice, {}, FewerThreadsText(threads, helpers.size() + 1, reason)});
        work();
    }
    for (const std::exception_ptr& e : thrown)
        if (e)
            std::rethrow_exception(e);
    RunOutcome outcome = std::move(outcomes[0]);
    problems.insert(problems.end(), said[0].begin(), said[0].end());
    if (outcome.report.is_null())
        return outcome;
    if (outcome.status == kExitRefused) {
        if (options.budget)
            outcome.report["budget"] = nullptr;
        return outcome;
    }
    for (std::size_t i = 1; i < runs.size(); ++i) {
        for (const BatchProblem& p : said[i])
            problems.push_back(About(names[i], p));
        outcome.status = WorseStatus(outcome.status, outcomes[i].status);
    }
    // The budget and the convergence are made of all the runs: one a signal stopped or kept
    // from starting leaves them unmade, and the report says the signal, as for a run it stopped.
    const auto cut = [](const nlohmann::json& report) { return report.is_null() || report.contains("signal"); };
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (cut(i == 0 ? outcome.report : outcomes[i].report)) {
            outcome.report["ended"] = std::string(RunEndName(RunEnd::Stopped));
            outcome.report["signal"] = SignalName(StopSignal());
            if (options.budget)
                outcome.report["budget"] = nullptr;
            return outcome;
        }
    const auto reportOf = [&](std::size_t i) { return outcomes[i].analysis.value_or(RunReport{}); };
    if (options.budget) {
        const BudgetQuantity quantity = BudgetQuantityFor(
            outcome.analysis ? outcome.analysis->scenario : Scenario::TwoBlackHoles);
        const auto budgetAt = [&](std::size_t step) {
            const std::size_t i = step * perStep;
            return MakeBudget(quantity, {reportOf(i), reportOf(i + 1), reportOf(i + 2), reportOf(i + 3)});
        };
        Budget budget = budgetAt(0);
        if (options.converge)
            AddConvergence(budget, budgetAt(1), budgetAt(2));
        outcome.report["budget"] = BudgetJson(budget);
    }
    if (options.converge && outcome.analysis) {
        AddConvergence(*outcome.analysis, reportOf(perStep), reportOf(2 * perStep));
        outcome.report["analysis"] = AnalysisJson(*outcome.analysis);
    }
    return outcome;
}

RunOutcome Run(const BatchOptions& options, BatchProblems& problems)
{
    return options.budget || options.converge ? RunWithCompanions(options, problems) : RunOnce(options, problems);
}

// Run, its problems said on `err`: also those met before it ran out of memory.
RunOutcome Run(const BatchOptions& options, std::ostream& err)
{
    BatchProblems problems;
    try {
        RunOutcome outcome = Run(options, problems);
        Say(err, problems);
        return outcome;
    } catch (const std::bad_alloc&) {
        Say(err, problems);
        throw;
    }
}

} // namespace

int RunBatchReport(const BatchOptions& options, nlohmann::json& report, BatchProblems& problems)
{
    RunOutcome outcome = Run(options, problems);
    report = std::move(outcome.report);
    return outcome.status;
}

int RunBatchReport(const BatchOptions& options, nlohmann::json& report, std::ostream& err)
{
    RunOutcome outcome = Run(options, err);
    report = std::move(outcome.report);
    return outcome.status;
}

int RunBatch(const BatchOptions& options, std::ostream& out, std::ostream& err)
{
    const RunOutcome outcome = Run(options, err);
    const nlohmann::json& report = outcome.report;
    if (report.is_null())
        return outcome.status;
    if (options.json) {
        out << JsonLine(report) << "\n";
        return outcome.status;
    }
    PrintText(report, BatchModel(options), out);
    if (outcome.analysis)
        out << AnalysisText(report["analysis"], outcome.analysis->scenario);
    if (report.contains("budget"))
        out << BudgetText(report["budget"]);
    return outcome.status;
}

} // namespace gravlag
