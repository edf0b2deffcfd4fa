#include "app/batch/point_report.h"

#include <sys/stat.h>

#include "app/batch/batch_outputs.h"
#include "app/batch/batch_run.h"
#include "app/files/output_file.h"
#include "app/files/report_json.h"
#include "app/files/small_file.h"

namespace gravlag {

namespace {

constexpr std::size_t kMaxReportBytes = 1024 * 1024;

nlohmann::json Optional(const auto& value) { return value ? nlohmann::json(*value) : nlohmann::json(nullptr); }

} // namespace

nlohmann::json PointInputs(const BatchOptions& o)
{
    nlohmann::json inputs;
    inputs["scenario"] = Optional(o.scenario);
    if (o.params) {
        inputs["params"] = {{"scenario", Optional(o.params->scenario)}, {"boxes", o.params->boxes}};
    } else {
        inputs["params"] = nullptr;
    }
    inputs["typed"] = o.typed;
    inputs["stopAt"] = Optional(o.stopAt);
    inputs["every"] = Optional(o.every);
    // Only where asked, so that the points of sweeps made before these options resume.
    if (o.duration)
        inputs["duration"] = *o.duration;
    if (o.report)
        inputs["report"] = true;
    if (o.budget)
        inputs["budget"] = true;
    if (const Model model = BatchModel(o); model != Model{})
        inputs["model"] = ModelJson(model);
    nlohmann::json outputs = nlohmann::json::object();
    for (const NamedPath& p : OutputPaths(o))
        if (p.path != o.reportFile)
            outputs[p.option] = p.path;
    inputs["outputs"] = outputs;
    return inputs;
}

bool WritePointReport(const BatchOptions& options, nlohmann::json& report)
{
    nlohmann::json stored = report;
    stored["inputs"] = PointInputs(options);
    OutputFile file;
    if (file.open(options.reportFile)) {
        file.write(JsonLine(stored) + "\n");
        if (file.commit())
            return true;
    }
    report["outputErrors"].push_back("--out: " + file.error());
    return false;
}

bool ResumedReport(const BatchOptions& options, nlohmann::json& report, int& status)
{
    std::string text, problem;
    if (!ReadSmallFile(options.reportFile, kMaxReportBytes, "a point report", text, problem))
        return false;
    nlohmann::json stored = nlohmann::json::parse(text, nullptr, false);
    if (!stored.is_object() || !stored.contains("inputs") || !stored.contains("ended")
        || !stored.contains("outputErrors"))
        return false;
    // Compared as written, so that a file name with bytes that are not UTF-8 compares as
    // it was stored.
    if (JsonLine(stored["inputs"]) != JsonLine(PointInputs(options)))
        return false;
    const nlohmann::json& ended = stored["ended"];
    const bool final = ended == "completed" || ended == "fault" || (ended == "stopped" && !stored.contains("signal"));
    if (!final || stored["outputErrors"] != nlohmann::json::array())
        return false;
    for (const NamedPath& p : OutputPaths(options)) {
        struct stat st {};
        if (::stat(p.path.c_str(), &st) != 0)
            return false;
    }
    stored.erase("inputs");
    report = std::move(stored);
    status = ended == "fault" ? kExitFault : kExitCompleted;
    return true;
}

} // namespace gravlag
