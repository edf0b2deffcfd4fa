#include "app/batch/system_run.h"

#include <cmath>
#include <ostream>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/batch/batch_run.h"
#include "app/batch/system_report.h"
#include "app/batch/problem.h"
#include "app/files/exact_text.h"
#include "app/files/output_file.h"
#include "app/files/report_json.h"
#include "app/files/report_text.h"
#include "core/physics/make_integration.h"

namespace gravlag {

int RunSystem(const SystemRun& run, const BatchOptions& options, std::ostream& out,
              std::ostream& err)
{
    const Model model = BatchModel(options);
    std::string problem;
    std::unique_ptr<Integration> integration =
        MakeIntegration(run.system, model, run.dt, run.method, problem);
    if (!integration) {
        Say(err, {ProblemKind::Refused, "--system", problem});
        return ExitStatusOf(ProblemKind::Refused);
    }
    const double passes = std::nearbyint(run.duration / run.dt);
    if (!(passes <= 1e18)) {
        Say(err, {ProblemKind::Refused, {},
                  "--duration " + ExactText(run.duration) + " with dt " + ExactText(run.dt) + " is more than 10^18 steps"});
        return ExitStatusOf(ProblemKind::Refused);
    }
    OutputFile trajectory;
    if (!options.trajectoryCsv.empty()) {
        if (!trajectory.open(options.trajectoryCsv)) {
            Say(err, {ProblemKind::Refused, "--trajectory-csv", trajectory.error()});
            return ExitStatusOf(ProblemKind::Refused);
        }
        trajectory.write("k,t,body,x,y,vx,vy\n");
    }
    const std::int64_t every = options.every.value_or(100);
    const std::int64_t last = static_cast<std::int64_t>(passes);
    const std::size_t n = run.system.bodies.size();
    std::vector<Body> bodies = run.system.bodies;
    std::optional<SystemReport> report;
    if (options.report)
        report.emplace(*integration, model.integrator == Integrator::Reference, run.system,
                       model.forceLaw, run.first, run.second);
    bool fault = false;
    double t = 0, tDone = 0; // the time of the pass in hand, of the last one the bodies show
    for (std::int64_t k = 0; k <= last; ++k) {
        // The end of the run is the duration itself, also where dt does not divide it.
        t = k == last ? run.duration : static_cast<double>(k) * run.dt;
        while (integration->time() < t && !fault) {
            fault = !integration->step(problem);
            if (!fault && report)
                report->stepped(run.duration);
        }
        if (fault)
            break;
        if (k > 0 || integration->steps() > 0)
            integration->stateAt(t, bodies);
        tDone = t;
        if (trajectory.isOpen() && (k % every == 0 || k == last))
            for (std::size_t i = 0; i < n; ++i)
                trajectory.write(std::to_string(k) + "," + ExactText(t) + "," + std::to_string(i + 1)
                                 + "," + ExactText(bodies[i].x) + "," + ExactText(bodies[i].y) + ","
                                 + ExactText(bodies[i].vx) + "," + ExactText(bodies[i].vy) + "\n");
    }
    std::vector<std::string> outputErrors;
    if (trajectory.isOpen() && !trajectory.commit())
        outputErrors.push_back("--trajectory-csv: " + trajectory.error());

    nlohmann::json j = nlohmann::json::object();
    j["ended"] = fault ? "fault" : "completed";
    if (fault)
        j["message"] = problem;
    j["time"] = tDone;
    j["steps"] = integration->steps();
    nlohmann::json list = nlohmann::json::array();
    for (const Body& b : bodies)
        list.push_back({{"m", b.m}, {"x", b.x}, {"y", b.y}, {"vx", b.vx}, {"vy", b.vy}});
    j["bodies"] = list;
    j["model"] = ModelJson(model);
    if (report) {
        j["pair"] = {run.first + 1, run.second + 1};
        j["analysis"] = AnalysisJson(report->finish(bodies, tDone));
    }
    j["outputErrors"] = outputErrors;
    if (options.json) {
        out << JsonLine(j) << "\n";
    } else {
        out << "Run " << j["ended"].get<std::string>() << ": t " << ExactText(j["time"].get<double>())
            << ", " << integration->steps() << " steps\n"
            << ModelText(model) << "\n";
        for (std::size_t i = 0; i < n; ++i)
            out << "body " << i + 1 << ": x " << ExactText(bodies[i].x) << "  y "
                << ExactText(bodies[i].y) << "\n";
        if (report)
            out << AnalysisText(j["analysis"], Scenario::TwoBlackHoles, static_cast<int>(run.first) + 1,
                                static_cast<int>(run.second) + 1);
    }
    for (const std::string& e : outputErrors)
        Say(err, {ProblemKind::Output, {}, e});
    if (fault)
        Say(err, {ProblemKind::Fault, {}, problem});
    return !outputErrors.empty() ? ExitStatusOf(ProblemKind::Output)
        : fault                  ? ExitStatusOf(ProblemKind::Fault)
                                 : kExitCompleted;
}

} // namespace gravlag
