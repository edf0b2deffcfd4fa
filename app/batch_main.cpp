// gravlag-batch: the panel and the run on in-memory windows, driven from the command line.
#include <iostream>

#include <CLI/CLI.hpp>

#include "app/batch_run.h"

int main(int argc, char** argv)
{
    gravlag::BatchOptions options;
    CLI::App app{"gravlag-batch: runs gravlag's panel and simulation without a display.\n"
                 "Each box option is a text typed into that box of the control panel."};
    app.add_option("--scenario", options.scenario, "\"2 BH's\" (default) or Mercury")
        ->check(CLI::IsMember({"2 BH's", "Mercury"}));
    struct BoxOption {
        const char* flag;
        const char* box;
        const char* help;
    };
    static const BoxOption kBoxes[] = {
        {"--bodies", "Tn_object", "n object"},     {"--mass1", "Tmass(0)", "Mass 1"},
        {"--mass2", "Tmass(1)", "Mass 2"},         {"--mass3", "Tmass(2)", "Mass 3"},
        {"--r2", "Dx1", "r  m(2)"},                {"--r3", "Dx2", "r  m(3)"},
        {"--vx-base", "Tvxbase", "vx base"},       {"--vy-base", "Tvybase", "vy base"},
        {"--iterations", "Titer", "Iteration"},    {"--dt", "Tdt", "dt"},
        {"--c", "Tc", "c"},                        {"--prediction", "Tpredsel", "Prediction"},
    };
    std::vector<std::string> texts(std::size(kBoxes));
    std::vector<CLI::Option*> given;
    for (std::size_t i = 0; i < std::size(kBoxes); ++i)
        given.push_back(app.add_option(kBoxes[i].flag, texts[i],
                                       std::string("text typed into \"") + kBoxes[i].help + "\""));
    long long stopAt = 0;
    CLI::Option* stop = app.add_option("--stop-at", stopAt,
                                       "click \"Stop\" at the first display update at or after pass K");
    app.add_flag("--json", options.json, "print the result as one JSON object");
    app.add_option("--apsis-csv", options.apsisCsv, "write one row per apsis event");
    app.add_option("--sim-png", options.simPng, "write the simulation display as PNG");
    app.add_option("--plot-png", options.plotPng, "write the time evolution display as PNG");
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "gravlag-batch: " << e.what() << "\n";
        return 2;
    }
    // Typed in the order the boxes stand on the panel; each replaces the box's text.
    for (std::size_t i = 0; i < std::size(kBoxes); ++i)
        if (given[i]->count() > 0)
            options.typed.emplace_back(kBoxes[i].box, texts[i]);
    if (stop->count() > 0)
        options.stopAt = stopAt;
    return gravlag::RunBatch(options, std::cout, std::cerr);
}
