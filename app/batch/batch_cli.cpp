#include "app/batch/batch_cli.h"

#include <ostream>
#include <thread>

#include <CLI/CLI.hpp>

#include "app/batch/batch_run.h"
#include "panel/panel_inputs.h"
#include "app/batch/sweep.h"

namespace gravlag {

namespace {

int SweepFromArguments(const BatchOptions& options, const std::vector<std::string>& arguments,
                   unsigned jobs, std::ostream& out, std::ostream& err, bool progress)
{
    std::vector<SweepAxis> axes;
    std::string problem;
    for (const std::string& argument : arguments) {
        std::optional<SweepAxis> axis = ParseSweepAxis(argument, problem);
        if (!axis) {
            err << "gravlag-batch: " << problem << "\n";
            return 2;
        }
        axes.push_back(std::move(*axis));
    }
    const std::optional<Sweep> sweep = Sweep::Make(std::move(axes), problem);
    if (!sweep) {
        err << "gravlag-batch: " << problem << "\n";
        return 2;
    }
    return RunSweep(options, *sweep, jobs, out, err, progress);
}

} // namespace

int BatchMain(int argc, const char* const* argv, std::ostream& out, std::ostream& err, bool progress)
{
    BatchOptions options;
    CLI::App app{"gravlag-batch: runs gravlag's panel and simulation without a display.\n"
                 "Each box option is a text typed into that box of the control panel."};
    std::string scenario;
    CLI::Option* scenarioOption = app.add_option("--scenario", scenario, "\"2 BH's\" (default) or Mercury")
        ->check(CLI::IsMember({"2 BH's", "Mercury"}));
    std::string paramsPath;
    app.add_option("--params", paramsPath,
                   "parameter file (JSON object of box texts) typed in before the box options");
    const auto inputs = PanelInputs();
    std::vector<std::string> texts(inputs.size());
    std::vector<CLI::Option*> given;
    for (std::size_t i = 0; i < inputs.size(); ++i)
        given.push_back(app.add_option(std::string("--") + inputs[i].option, texts[i],
                                       std::string("text typed into \"") + inputs[i].label + "\""));
    long long stopAt = 0;
    CLI::Option* stop = app.add_option("--stop-at", stopAt,
                                       "click \"Stop\" at the first display update at or after pass K");
    app.add_flag("--json", options.json, "print the result as one JSON object");
    app.add_option("--apsis-csv", options.apsisCsv, "write one row per apsis event");
    app.add_option("--distance-csv", options.distanceCsv,
                   "write k, t, r1, r2 (distances from the midpoint of bodies 1 and 2) at every sample");
    app.add_option("--trajectory-csv", options.trajectoryCsv, "write k and x, y of the active bodies at every sample");
    std::int64_t every = 0;
    CLI::Option* everyOption = app.add_option("--every", every,
                                              "sample the CSV exports every N passes (default: the "
                                              "time plot's interval for distances in \"2 BH's\", else 100)")
                                   ->check(CLI::PositiveNumber);
    app.add_option("--sim-png", options.simPng, "write the simulation display as PNG");
    app.add_option("--plot-png", options.plotPng, "write the time evolution display as PNG");
    std::vector<std::string> sweepArguments;
    app.add_option("--sweep", sweepArguments,
                   "NAME=T1;T2;...: one run per text typed into that box option (c, dt, mass3, ...); "
                   "several make a grid, the first outermost; prints one JSON line per point")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
    app.add_option("--jobs", jobs, "sweep points run at a time (default: one per processor)")
        ->check(CLI::PositiveNumber);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, out, err);
    } catch (const CLI::ParseError& e) {
        err << "gravlag-batch: " << e.what() << "\n";
        return 2;
    }
    if (scenarioOption->count() > 0)
        options.scenario = scenario;
    if (!paramsPath.empty()) {
        std::string problem;
        options.params = LoadParamFile(paramsPath, problem);
        if (!options.params) {
            err << "gravlag-batch: --params: " << problem << "\n";
            return 2;
        }
    }
    // Typed in the order the boxes stand on the panel; each replaces the box's text.
    for (std::size_t i = 0; i < inputs.size(); ++i)
        if (given[i]->count() > 0)
            options.typed.emplace_back(inputs[i].box, texts[i]);
    if (stop->count() > 0)
        options.stopAt = stopAt;
    if (everyOption->count() > 0)
        options.every = every;

    if (sweepArguments.empty())
        return RunBatch(options, out, err);
    return SweepFromArguments(options, sweepArguments, jobs, out, err, progress);
}

} // namespace gravlag
