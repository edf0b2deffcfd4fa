#include "app/batch/point_report.h"

#include "app/batch/batch_outputs.h"
#include "app/batch/batch_run.h"
#include "app/files/checksum.h"
#include "app/files/output_file.h"
#include "app/files/report_json.h"
#include "app/files/small_file.h"

namespace gravlag {

namespace {

constexpr std::size_t kMaxReportBytes = 1024 * 1024;

nlohmann::json Optional(const auto& value) { return value ? nlohmann::json(*value) : nlohmann::json(nullptr); }

// {"bytes": 1234, "checksum": "0123456789abcdef"}: hexadecimal, which every JSON reader keeps
// exact; null for a file that is not there or not a regular file, which nothing vouches for.
nlohmann::json DigestJson(const std::string& path)
{
    const std::optional<FileDigest> digest = DigestOfFile(path);
    if (!digest)
        return nullptr;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex(16, '0');
    for (int i = 15; i >= 0; --i)
        hex[static_cast<std::size_t>(15 - i)] = kHex[(digest->checksum >> (4 * i)) & 0xF];
    return {{"bytes", digest->bytes}, {"checksum", hex}};
}

} // namespace

nlohmann::json PointInputs(const BatchOptions& o)
{
    nlohmann::json inputs = nlohmann::json::object();
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
    if (o.converge)
        inputs["converge"] = true;
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
    // Not "inputs", which the report itself holds (the numbers the run read).
    stored["command"] = PointInputs(options);
    // What the report vouches for: the files as they are now, the point's own, committed
    // before it.
    nlohmann::json files = nlohmann::json::object();
    for (const NamedPath& p : OutputPaths(options))
        if (p.path != options.reportFile)
            files[p.option] = DigestJson(p.path);
    stored["files"] = files;
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
    if (!stored.is_object() || !stored.contains("command") || !stored.contains("ended")
        || !stored.contains("outputErrors"))
        return false;
    // Compared as written, so that a file name with bytes that are not UTF-8 compares as
    // it was stored.
    if (JsonLine(stored["command"]) != JsonLine(PointInputs(options)))
        return false;
    const nlohmann::json& ended = stored["ended"];
    // A signal cut the point short, whichever of its runs it stopped.
    const bool final = !stored.contains("signal") && (ended == "completed" || ended == "fault" || ended == "stopped");
    if (!final || stored["outputErrors"] != nlohmann::json::array())
        return false;
    // Each file still the one the report was written for: not another run's under the same
    // name (a run cut off between its files and its report), not a changed or missing one.
    const nlohmann::json& files = stored.contains("files") ? stored["files"] : nlohmann::json();
    if (!files.is_object())
        return false;
    for (const NamedPath& p : OutputPaths(options)) {
        if (p.path == options.reportFile)
            continue;
        const nlohmann::json digest = DigestJson(p.path);
        if (digest.is_null() || !files.contains(p.option) || files[p.option] != digest)
            return false;
    }
    stored.erase("command");
    stored.erase("files");
    report = std::move(stored);
    status = ended == "fault" ? kExitFault : kExitCompleted;
    return true;
}

} // namespace gravlag
