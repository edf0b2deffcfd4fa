#include "app/batch/batch_cli.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <memory>
#include <new>
#include <ostream>
#include <sstream>
#include <system_error>
#include <thread>

#include <sys/resource.h>

#include <CLI/CLI.hpp>

#include "app/batch/batch_outputs.h"
#include "app/batch/batch_run.h"
#include "app/batch/out_folder.h"
#include "app/batch/point_list.h"
#include "app/batch/problem.h"
#include "panel/panel_inputs.h"
#include "app/files/scenario_name.h"
#include "app/files/strict_input.h"
#include "app/files/system_file.h"
#include "app/files/utf8_text.h"
#include "app/version/version.h"
#include "core/lane_group.h"
#include "ui/user_number_format.h"

namespace gravlag {

namespace {

constexpr std::uint64_t kMaxPasses = 1'000'000'000'000'000'000; // 10^18
constexpr std::uint64_t kMaxJobs = 1024;

// The end of --help, and the man page's EXIT STATUS: the build makes help2man's subsection
// "Exit status:" a section of its own (packaging/CMakeLists.txt).
const char* const kHelpFooter =
    "With --json the result is one JSON object on one line (one per point in a sweep); its\n"
    "fields are described under JSON FIELDS in the manual page: man gravlag-batch\n"
    "\n"
    "Exit status:\n"
    "  0      the run completed, or --stop-at stopped it\n"
    "  2      a bad command line, or input that cannot start a run: nothing is written\n"
    "  3      a fault ended the run (its files are complete up to its last pass)\n"
    "  4      an output could not be written (a file, or standard output)\n"
    "  128+n  signal n stopped the run (130 SIGINT, 143 SIGTERM, 129 SIGHUP)\n"
    "When several apply, the first of 2, 4, 128+n, 3 in this order is the status; a sweep\n"
    "gives the worst of its points in the same order.";

// What each box option's number is, for --help (the label comes from the table of boxes).
std::string BoxHelp(std::string_view option)
{
    if (option == "bodies")
        return "the number of bodies, 2 or 3";
    if (option.substr(0, 4) == "mass")
        return std::string("the mass of body ") + option.back() + " (mass)";
    if (option == "r2")
        return "in \"2 BH's\", half the start separation of bodies 1 and 2, which start on a "
               "circular orbit; in Mercury, their start separation, at 0.6 times the circular "
               "speed (the far apsis of an orbit of e = 0.64) (length)";
    if (option == "r3")
        return "the start distance of body 3 from the centre of mass of bodies 1 and 2, on a "
               "circular orbit about it (length)";
    if (option == "vx-base" || option == "vy-base")
        return std::string("added to every body's start velocity, its ") + (option == "vx-base" ? "x" : "y")
            + " part (length/time)";
    if (option == "iterations")
        return "the last pass: the run makes passes 0 to this, each one step dt";
    if (option == "dt")
        return "the time step (time)";
    if (option == "c")
        return "the speed at which the pull travels (length/time); 0 or less: no delay";
    return "where the retarded position comes from: 0 the source's velocity, 1 its position history";
}

struct Refusal {
    std::string problem;
};

// A whole-number option: none when not given; a Refusal naming the range otherwise.
std::optional<std::uint64_t> WholeOption(const CLI::Option* option, const std::string& text,
                                         std::uint64_t min, std::uint64_t max, const char* range)
{
    if (option->count() == 0)
        return std::nullopt;
    const std::optional<std::uint64_t> value = ParseWholeNumber(text, max);
    if (!value || *value < min)
        throw Refusal{option->get_name() + " must be a whole number from " + range};
    return value;
}

// A number option's whole text as a finite double, or none.
std::optional<double> WholeTextNumber(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v))
        return std::nullopt;
    return v;
}

// A --duration: a decimal number with a point, finite, 0 or more.
std::optional<double> ParseDuration(const std::string& text)
{
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || !std::isfinite(v) || !(v >= 0))
        return std::nullopt;
    return v;
}

Sweep SweepFromArguments(const BatchOptions& options, const std::vector<std::string>& arguments,
                         SweepSettings& settings, const CLI::Option* pointsOption,
                         const std::string& pointsText)
{
    std::vector<SweepAxis> axes;
    std::string problem;
    for (const std::string& argument : arguments) {
        std::optional<SweepAxis> axis = ParseSweepAxis(argument, problem);
        if (!axis)
            throw Refusal{problem};
        if (options.reading == TextReading::Strict)
            for (std::size_t i = 0; i < axis->texts.size(); ++i)
                if (const std::string why = StrictInputProblem(*FindPanelInputByBox(axis->box), axis->texts[i],
                                                               options.regional);
                    !why.empty())
                    throw Refusal{"--sweep " + axis->option + ": text " + std::to_string(i + 1) + ": " + why};
        if (options.duration && axis->box == "Titer")
            throw Refusal{"--duration and --sweep " + axis->option + " both set \"Iteration\": give one"};
        axes.push_back(std::move(*axis));
    }
    std::optional<Sweep> sweep = Sweep::Make(std::move(axes), problem);
    if (!sweep)
        throw Refusal{problem};
    if (pointsOption->count() > 0) {
        settings.points = PointList::Parse(pointsText, sweep->points(), problem);
        if (!settings.points)
            throw Refusal{problem};
    }
    return std::move(*sweep);
}

// Standard output is an output too: a report that could not be written is a failure.
int CheckedOut(std::ostream& out, std::ostream& err, int status)
{
    if (!out.flush()) {
        const int error = errno;
        Say(err, {ProblemKind::Output, {},
                  "cannot write standard output" + (error != 0 ? ": " + std::generic_category().message(error) : std::string())});
        return WorseStatus(status, ExitStatusOf(ProblemKind::Output));
    }
    return status;
}

// The command line's options and the texts the parser writes, made once on each thread that
// reads command lines: adding some fifty options to a CLI::App checks each name against all
// before it, a tenth of a millisecond that every Python run() would pay again. Each reading
// clears what the last one wrote (clear()); the parser clears its own counts.
class CommandLine {
public:
    CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
    void clear();

    CLI::App app{"gravlag-batch: runs gravlag's panel and simulation without a display.\n"
                 "Each box option is a number for that box of the control panel (its label in\n"
                 "quotes), typed into it as a text. The text must be wholly a number: digits, a\n"
                 "point and an exponent (5e4), no thousands separator, not empty; n object,\n"
                 "Iteration and Prediction take the user's decimal separator. --as-typed reads\n"
                 "the texts as the panel reads what a person types instead.\n"
                 "Units: G = 1, with any consistent units of length, time and mass.\n"
                 "\"t 21\" and \"t 31\" (delay21, delay31 in the JSON) count the delay of the\n"
                 "pull between bodies 1 and 2, and 1 and 3, in whole steps dt, rounded down:\n"
                 "0 for a delay shorter than one step."};
    // What the parser writes: the texts as given, the flags, and the output files' paths in
    // `files` (at BatchOptions's places for them).
    std::string scenario, paramsPath, stopAtText, everyText, jobsText, lanesText, pointsText;
    std::string integratorText, forceLawText, toleranceText, systemPath, pairText, durationText, outDir;
    std::vector<std::string> texts; // one per panel input; never resized once bound
    std::vector<std::string> sweepArguments;
    bool asTyped = false, json = false, report = false, budget = false, converge = false, resume = false;
    BatchOptions files;
    // The options, to ask whether each was given.
    CLI::Option *scenarioOption, *paramsOption, *stopAtOption, *convergeOption, *integratorOption;
    CLI::Option *forceLawOption, *toleranceOption, *systemOption, *pairOption, *durationOption;
    CLI::Option *everyOption, *jobsOption, *lanesOption, *pointsOption, *outOption, *resumeOption;
    std::vector<CLI::Option*> given;       // per panel input
    std::vector<CLI::Option*> fileOptions; // per FileOptions()
};

CommandLine::CommandLine()
{
    app.footer(kHelpFooter);
    app.set_version_flag("--version", VersionText("gravlag-batch"), "print the version and exit");
    scenarioOption = app.add_option("--scenario", scenario, "\"2 BH's\" (default) or Mercury, in any case")
                         ->type_name("NAME");
    paramsOption = app.add_option(
        "--params", paramsPath,
        "parameter file (JSON object of box texts or numbers, each keyed by its option name, c, or box "
        "name, Tc) typed in before the box options")
                       ->type_name("FILE");
    const auto inputs = PanelInputs();
    texts.resize(inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i)
        given.push_back(app.add_option(std::string("--") + inputs[i].option, texts[i],
                                       std::string("\"") + inputs[i].label + "\": " + BoxHelp(inputs[i].option))
                            ->type_name("X"));
    app.add_flag("--as-typed", asTyped,
                 "read the box options', the parameter file's and --sweep's texts as the panel "
                 "reads what a person types (\"50,000\" as 50 in c, \"abc\" as 0), to "
                 "reproduce a run typed at the panel");
    stopAtOption = app.add_option(
        "--stop-at", stopAtText, "click \"Stop\" at the first display update at or after pass K")
                       ->type_name("K");
    app.add_flag("--json", json, "print the result as one JSON object");
    app.add_flag("--report", report,
                 "add the run's analysis: orbital elements and their rates, the apsis precession, "
                 "energy, angular momentum and momentum, delays, first-order theory");
    app.add_flag("--budget", budget,
                 "as --report, and split the precession (\"Mercury\") or the widening "
                 "(\"2 BH's\") into integrator, outer body and delay with three companion runs "
                 "(c 0; 2 bodies at c 0; 2 bodies), run on --jobs threads");
    convergeOption = app.add_flag(
        "--converge", converge,
        "with --report or --budget: make the run (and its companions) also at dt/2 and dt/4 over "
        "the same time, and extrapolate each rate to dt -> 0 with the order observed");
    integratorOption = app.add_option(
        "--integrator", integratorText,
        "euler (default: the panel's scheme, \"Prediction\" choosing the retarded position) or "
        "reference (adaptive high-order steps of the true delay equations)")->type_name("NAME");
    forceLawOption = app.add_option(
        "--force-law", forceLawText,
        "retarded (default: the pull of where the source was), instantaneous, aberration-free "
        "(the retarded position carried on along the retarded velocity) or 1pn "
        "(Einstein-Infeld-Hoffmann, needs c > 0)")->type_name("NAME");
    toleranceOption = app.add_option(
        "--tolerance", toleranceText, "the reference integrator's relative error per step (default 1e-12)")
                          ->type_name("X");
    systemOption = app.add_option(
        "--system", systemPath,
        "run your own bodies instead of the panel's: a JSON file {\"c\": C, \"bodies\": [{\"m\", \"x\", "
        "\"y\", \"vx\", \"vy\"}, ...]} (1 to 64 bodies, G = 1), with --duration (required), --dt "
        "(the euler step, default 0.001), --prediction, the model, --json, --report (and --pair), --trajectory-csv (k, t, "
        "body, x, y, vx, vy) and --every")->type_name("FILE");
    pairOption = app.add_option(
        "--pair", pairText,
        "with --system and --report: the orbit of body J about body I, numbered from 1 as in the "
        "file (default 1,2)")->type_name("I,J");
    durationOption = app.add_option(
        "--duration", durationText, "set \"Iteration\" to the whole number of passes nearest T / dt")
                         ->type_name("T");
    for (const OutputOption& file : FileOptions())
        fileOptions.push_back(app.add_option(file.option, files.*file.path, file.help)->type_name("FILE"));
    everyOption = app.add_option(
        "--every", everyText,
        "sample the CSV exports every N passes (default: the time plot's interval for distances "
        "in \"2 BH's\", else 100)")->type_name("N");
    app.add_option("--sweep", sweepArguments,
                   "NAME=T1;T2;...: one run per text typed into that box option (c, dt, mass3, ...); "
                   "several make a grid, the first outermost; prints one JSON line per point. "
                   "With --as-typed, an empty text stands alone: NAME=")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    jobsOption = app.add_option("--jobs", jobsText, "sweep points run at a time (default: one per processor)")
                     ->type_name("N");
    lanesOption = app.add_option(
        "--lanes", lanesText, "sweep points whose runs take the same main loop computed together in "
        "SIMD lanes on each thread, each bit for bit its run alone: 1 (none), 4 (AVX2) or 8 "
        "(AVX-512) (default: the most this processor has; 1 under a limit on address space)")
                      ->type_name("N");
    pointsOption = app.add_option(
        "--points", pointsText, "run only these points of the sweep's grid (5, 5-8, 1,3,9-12), numbered as in the whole grid")
                       ->type_name("LIST");
    outOption = app.add_option(
        "--out", outDir, "each sweep point's JSON object to DIR/point-N.json, its files to DIR/NAME-N.EXT")
                    ->type_name("DIR");
    resumeOption = app.add_flag(
        "--resume", resume, "with --out: points whose DIR/point-N.json shows them done with the same inputs are not run again");
}

void CommandLine::clear()
{
    for (std::string* s : {&scenario, &paramsPath, &stopAtText, &everyText, &jobsText, &lanesText, &pointsText,
                           &integratorText, &forceLawText, &toleranceText, &systemPath, &pairText, &durationText,
                           &outDir})
        s->clear();
    for (std::string& text : texts)
        text.clear();
    sweepArguments.clear();
    asTyped = json = report = budget = converge = resume = false;
    for (const OutputOption& file : FileOptions())
        (files.*file.path).clear();
}

// Reads the command line into `command`. Returns the exit status when it ends there: --help
// or --version (said on `out`), or a refusal (`refusal`).
std::optional<int> ParseCommand(int argc, const char* const* argv, std::ostream& out, std::ostream& err,
                                bool progress, BatchCommand& command, std::optional<BatchProblem>& refusal)
{
    BatchOptions& options = command.options;
    options.regional = ui::UserRegionalFormat(); // as the desktop program reads its boxes
    // On the heap: a module loaded into Python has only a little static thread-local storage.
    thread_local std::unique_ptr<CommandLine> made;
    if (!made)
        made = std::make_unique<CommandLine>();
    CommandLine& line = *made;
    line.clear();
    CLI::App& app = line.app;
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        refusal = BatchProblem{ProblemKind::Refused, {}, e.what()};
        return ExitStatusOf(ProblemKind::Refused);
    }
    options.json = line.json;
    options.report = line.report;
    options.budget = line.budget;
    options.converge = line.converge;
    for (const OutputOption& file : FileOptions())
        options.*file.path = line.files.*file.path;
    const auto inputs = PanelInputs();
    const std::vector<std::string>& texts = line.texts;
    const std::vector<CLI::Option*>& given = line.given;
    const std::vector<CLI::Option*>& fileOptions = line.fileOptions;
    const std::vector<std::string>& sweepArguments = line.sweepArguments;
    const std::string &scenario = line.scenario, &paramsPath = line.paramsPath, &stopAtText = line.stopAtText;
    const std::string &everyText = line.everyText, &jobsText = line.jobsText, &lanesText = line.lanesText;
    const std::string &pointsText = line.pointsText, &integratorText = line.integratorText;
    const std::string &forceLawText = line.forceLawText, &toleranceText = line.toleranceText;
    const std::string &systemPath = line.systemPath, &pairText = line.pairText;
    const std::string &durationText = line.durationText, &outDir = line.outDir;
    const bool asTyped = line.asTyped, resume = line.resume;
    const CLI::Option *scenarioOption = line.scenarioOption, *paramsOption = line.paramsOption;
    const CLI::Option *stopAtOption = line.stopAtOption, *convergeOption = line.convergeOption;
    const CLI::Option *integratorOption = line.integratorOption, *forceLawOption = line.forceLawOption;
    const CLI::Option *toleranceOption = line.toleranceOption, *systemOption = line.systemOption;
    const CLI::Option *pairOption = line.pairOption, *durationOption = line.durationOption;
    const CLI::Option *everyOption = line.everyOption, *jobsOption = line.jobsOption;
    const CLI::Option *lanesOption = line.lanesOption, *pointsOption = line.pointsOption;
    const CLI::Option *outOption = line.outOption, *resumeOption = line.resumeOption;

    try {
        if (scenarioOption->count() > 0) {
            options.scenario = ScenarioNamed(scenario);
            if (!options.scenario)
                throw Refusal{"--scenario: unknown scenario \"" + scenario + "\" (\"2 BH's\" or \"Mercury\")"};
        }
        options.reading = asTyped ? TextReading::AsTyped : TextReading::Strict;
        // Texts are checked where they come in: what is typed reaches the report.
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (given[i]->count() > 0 && !IsUtf8(texts[i]))
                throw Refusal{given[i]->get_name() + ": the text is not valid UTF-8"};
        for (std::size_t i = 0; i < fileOptions.size(); ++i)
            if (fileOptions[i]->count() > 0 && (options.*FileOptions()[i].path).empty())
                throw Refusal{std::string(FileOptions()[i].option) + ": empty file name"};
        if (convergeOption->count() > 0 && !options.report && !options.budget)
            throw Refusal{"--converge needs --report or --budget: it extrapolates their rates"};
        if (const auto v = WholeOption(stopAtOption, stopAtText, 0, kMaxPasses, "0 to 10^18"))
            options.stopAt = static_cast<std::int64_t>(*v);
        if (const auto v = WholeOption(everyOption, everyText, 1, kMaxPasses, "1 to 10^18"))
            options.every = static_cast<std::int64_t>(*v);
        if (integratorOption->count() > 0) {
            options.integrator = IntegratorNamed(integratorText);
            if (!options.integrator)
                throw Refusal{"--integrator must be euler or reference, not \"" + integratorText + "\""};
        }
        if (forceLawOption->count() > 0) {
            options.forceLaw = ForceLawNamed(forceLawText);
            if (!options.forceLaw)
                throw Refusal{"--force-law must be retarded, instantaneous, aberration-free or 1pn, "
                              "not \"" + forceLawText + "\""};
        }
        if (toleranceOption->count() > 0) {
            options.tolerance = WholeTextNumber(toleranceText);
            if (!options.tolerance || !(*options.tolerance > 0))
                throw Refusal{"--tolerance must be a number > 0: " + toleranceText};
        }
        if (durationOption->count() > 0) {
            options.duration = ParseDuration(durationText);
            if (!options.duration)
                throw Refusal{"--duration must be a number of time units, 0 or more: " + durationText};
            for (std::size_t i = 0; i < inputs.size(); ++i)
                if (given[i]->count() > 0 && std::string_view(inputs[i].box) == "Titer")
                    throw Refusal{"--duration and --iterations both set \"Iteration\": give one"};
        }
        SweepSettings& settings = command.settings;
        settings.jobs = std::max(1u, std::thread::hardware_concurrency());
        if (const auto v = WholeOption(jobsOption, jobsText, 1, kMaxJobs, "1 to 1024"))
            settings.jobs = static_cast<unsigned>(*v);
        // Lanes hold a few times more points in memory at once than lanes; under a limit on the
        // address space (ulimit -v) a point that runs out of memory must still find enough to
        // say so, so there the default is one point at a time.
        rlimit addressSpace{};
        const bool limited = getrlimit(RLIMIT_AS, &addressSpace) == 0 && addressSpace.rlim_cur != RLIM_INFINITY;
        settings.lanes = limited ? 1u : static_cast<unsigned>(LaneGroup::WidestLanes());
        if (const auto v = WholeOption(lanesOption, lanesText, 1, 8, "1 to 8")) {
            if (*v != 1 && *v != 4 && *v != 8)
                throw Refusal{"--lanes must be 1, 4 or 8: " + lanesText};
            if (static_cast<int>(*v) > LaneGroup::WidestLanes())
                throw Refusal{"--lanes " + lanesText + ": this processor has no " + lanesText
                              + "-lane instructions (" + (*v == 8 ? "AVX-512" : "AVX2") + ")"};
            settings.lanes = static_cast<unsigned>(*v);
        }
        // A sweep runs its points on the threads; a point's budget runs in the point's own.
        options.companionJobs = sweepArguments.empty() ? settings.jobs : 1;
        settings.progress = progress;
        settings.resume = resume;
        if (sweepArguments.empty()) {
            for (const CLI::Option* o : {pointsOption, outOption, resumeOption})
                if (o->count() > 0)
                    throw Refusal{o->get_name() + " needs --sweep"};
        }
        if (resume && outOption->count() == 0)
            throw Refusal{"--resume needs --out"};
        if (outOption->count() > 0) {
            for (const OutputOption& file : FileOptions())
                if ((options.*file.path).find('/') != std::string::npos)
                    throw Refusal{std::string(file.option) + ": with --out, give a file name without a folder "
                                  "(the files go into " + outDir + ")"};
            // Made when the sweep starts: a command refused after this line writes nothing.
            if (const std::string problem = OutFolderProblem(outDir); !problem.empty())
                throw Refusal{problem};
            settings.outDir = outDir;
        }
        if (paramsOption->count() > 0) {
            if (paramsPath.empty())
                throw Refusal{"--params: empty file name"};
            std::string problem;
            options.params = LoadParamFile(paramsPath, options.regional, options.reading, problem);
            if (!options.params)
                throw Refusal{"--params: " + problem};
            options.paramsPath = paramsPath;
        }
        // Typed in the order the boxes stand on the panel; each replaces the box's text.
        for (std::size_t i = 0; i < inputs.size(); ++i)
            if (given[i]->count() > 0)
                options.typed.emplace_back(inputs[i].box, texts[i]);

        // The model whole, with the parameter file's parts: a tolerance means a reference run.
        if (BatchModel(options).integrator == Integrator::Euler && (options.tolerance || (options.params && options.params->tolerance)))
            throw Refusal{std::string(options.tolerance ? "--tolerance" : "--params: \"tolerance\"")
                          + " applies to the reference integrator only (--integrator reference)"};
        if (pairOption->count() > 0 && (systemOption->count() == 0 || !options.report))
            throw Refusal{"--pair chooses the orbit --report gives of a --system run: only with both"};
        if (systemOption->count() > 0) {
            // Only what a file of bodies can mean: no panel, no scenario, no boxes.
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                const std::string_view option = inputs[i].option;
                if (given[i]->count() > 0 && option != "dt" && option != "prediction")
                    throw Refusal{given[i]->get_name() + " is a box of the panel: not with --system"};
            }
            for (const CLI::Option* o : {scenarioOption, paramsOption, stopAtOption})
                if (o->count() > 0)
                    throw Refusal{o->get_name() + " is for the panel's scenarios: not with --system"};
            if (!sweepArguments.empty() || options.budget || options.converge)
                throw Refusal{"--sweep, --budget and --converge are not available with --system"};
            for (std::size_t i = 0; i < fileOptions.size(); ++i)
                if (fileOptions[i]->count() > 0 && std::string_view(FileOptions()[i].option) != "--trajectory-csv")
                    throw Refusal{std::string(FileOptions()[i].option) + " shows the panel's run: not with --system"};
            if (!options.duration)
                throw Refusal{"--system needs --duration T, the time to run"};
            SystemRun run;
            run.duration = *options.duration;
            std::string problem;
            std::optional<System> system = LoadSystemFile(systemPath, problem);
            if (!system)
                throw Refusal{"--system: " + problem};
            run.system = std::move(*system);
            if (options.report) {
                const std::size_t n = run.system.bodies.size();
                if (n < 2)
                    throw Refusal{"--report needs two bodies in the system file: it reports the orbit of one about the other"};
                if (pairOption->count() > 0) {
                    // Each of I and J a body of the file, or 0: refused below.
                    const auto body = [n](const std::string& text) -> std::size_t {
                        const std::optional<double> v = WholeTextNumber(text);
                        return v && *v >= 1 && *v <= static_cast<double>(n) && *v == std::floor(*v)
                            ? static_cast<std::size_t>(*v) : 0;
                    };
                    const std::size_t comma = pairText.find(',');
                    const std::size_t i = body(pairText.substr(0, comma));
                    const std::size_t j = comma == std::string::npos ? 0 : body(pairText.substr(comma + 1));
                    if (i == 0 || j == 0 || i == j)
                        throw Refusal{"--pair must be two different body numbers I,J from 1 to "
                                      + std::to_string(n) + ": " + pairText};
                    run.first = i - 1;
                    run.second = j - 1;
                }
            }
            for (std::size_t i = 0; i < inputs.size(); ++i) {
                if (given[i]->count() == 0)
                    continue;
                const std::optional<double> v = WholeTextNumber(texts[i]);
                if (std::string_view(inputs[i].option) == "dt") {
                    if (!v || !(*v > 0))
                        throw Refusal{"--dt must be a number > 0 with --system: " + texts[i]};
                    run.dt = *v;
                } else {
                    if (!v || !(*v == 0 || *v == 1))
                        throw Refusal{"--prediction must be 0 or 1 with --system: " + texts[i]};
                    run.method = *v == 1 ? RetardationMethod::HistoryLookup
                                         : RetardationMethod::VelocityEstimate;
                }
            }
            command.system = std::move(run);
            return std::nullopt;
        }
        if (options.reading == TextReading::Strict)
            for (std::size_t i = 0; i < inputs.size(); ++i)
                if (given[i]->count() > 0)
                    if (const std::string why = StrictInputProblem(inputs[i], texts[i], options.regional);
                        !why.empty())
                        throw Refusal{given[i]->get_name() + ": " + why};
        if (!sweepArguments.empty())
            command.sweep = SweepFromArguments(options, sweepArguments, settings, pointsOption, pointsText);
        return std::nullopt;
    } catch (const Refusal& r) {
        refusal = BatchProblem{ProblemKind::Refused, {}, r.problem};
        return ExitStatusOf(ProblemKind::Refused);
    }
}

} // namespace

int BatchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress)
{
    // Out of memory (under ulimit -v, say) anywhere a sweep does not catch it for its point:
    // the run's temporaries are gone with the unwinding, and it is said.
    try {
        BatchCommand command;
        std::optional<BatchProblem> refusal;
        if (const std::optional<int> status = ParseCommand(argc, argv, out, err, progress, command, refusal)) {
            if (!refusal)
                return CheckedOut(out, err, *status); // --help, --version
            Say(err, *refusal);
            return *status;
        }
        if (command.system)
            return CheckedOut(out, err, RunSystem(*command.system, command.options, out, err));
        if (command.sweep)
            return RunSweep(command.options, *command.sweep, command.settings, out, err);
        return CheckedOut(out, err, RunBatch(command.options, out, err));
    } catch (const std::bad_alloc&) {
        Say(err, {ProblemKind::OutOfMemory, {}, "out of memory"});
        return CheckedOut(out, err, ExitStatusOf(ProblemKind::OutOfMemory));
    }
}

std::optional<BatchCommand> ParseBatchCommand(const std::vector<std::string>& arguments, BatchProblem& problem)
{
    std::vector<const char*> argv{"gravlag-batch"};
    for (const std::string& a : arguments) {
        // A command line cannot carry a NUL, and the C string below would end at it: the
        // text before it would be taken for the whole.
        if (a.find('\0') != std::string::npos) {
            const std::size_t equals = a.find('=');
            const bool named = a.rfind("--", 0) == 0 && equals != std::string::npos && equals < a.find('\0');
            problem = {ProblemKind::Refused, {},
                       (named ? a.substr(0, equals) + ": the text" : "an argument") + " holds a NUL character"};
            return std::nullopt;
        }
        argv.push_back(a.c_str());
    }
    std::ostringstream out, err;
    BatchCommand command;
    std::optional<BatchProblem> refusal;
    if (ParseCommand(static_cast<int>(argv.size()), argv.data(), out, err, false, command, refusal)) {
        // --help and --version end it too: their first line stands for what they said.
        problem = refusal.value_or(BatchProblem{ProblemKind::Refused, {}, out.str().substr(0, out.str().find('\n'))});
        return std::nullopt;
    }
    return command;
}

} // namespace gravlag
