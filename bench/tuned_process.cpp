// The hand-tuned loop as a whole process, for process_bench to time against gravlag-batch:
// the panel's set-up of the run (no passes), the loop, the end positions on one line.
//   tuned_process 2bh|mercury C PREDICTION
#include <charconv>
#include <cstdio>
#include <cstring>
#include <string>

#include "panel/program.h"
#include "tuned_loop.h"
#include "ui/headless/headless_services.h"

int main(int argc, char** argv)
{
    using namespace gravlag;
    if (argc != 4 || (std::strcmp(argv[1], "2bh") != 0 && std::strcmp(argv[1], "mercury") != 0)) {
        std::fputs("usage: tuned_process 2bh|mercury C PREDICTION\n", stderr);
        return 2;
    }
    ui::HeadlessServices services;
    Program program(services);
    if (std::strcmp(argv[1], "mercury") == 0)
        services.textBox("Tmethode")->click();
    const std::int64_t passes = std::stoll(services.textBox("Titer")->text()) + 1;
    services.textBox("Titer")->type("-1");
    services.textBox("Tc")->type(argv[2]);
    services.textBox("Tpredsel")->type(argv[3]);
    services.button("CommandCalc")->click();
    const RunResult& setUp = *program.form1().lastRun();
    if (setUp.ended != RunEnd::Completed || setUp.passes != 0) {
        std::fprintf(stderr, "tuned_process: the set-up did not leave a run to make: %s\n",
                     setUp.message.c_str());
        return 1;
    }
    SimState& state = program.state();
    const bench::TunedKind kind = state.c <= 0      ? bench::TunedKind::Instantaneous
        : std::strcmp(argv[3], "1") == 0            ? bench::TunedKind::HistoryLookup
                                                    : bench::TunedKind::VelocityEstimate;
    bench::RunTunedLoop(state, kind, passes);
    std::string line = "{\"x\":[";
    char buffer[32];
    for (int i = 0; i < kBodies; ++i) {
        const auto end = std::to_chars(buffer, buffer + sizeof buffer, state.x[static_cast<unsigned>(i)]).ptr;
        line.append(i ? "," : "").append(buffer, end);
    }
    line += "]}\n";
    std::fputs(line.c_str(), stdout);
    return 0;
}
