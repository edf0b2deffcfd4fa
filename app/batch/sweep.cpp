#include "app/batch/sweep.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <limits>
#include <mutex>
#include <ostream>
#include <sstream>
#include <thread>

#include "app/batch/batch_run.h"
#include "panel/panel_inputs.h"

namespace gravlag {

std::optional<SweepAxis> ParseSweepAxis(std::string_view argument, std::string& problem)
{
    const std::size_t eq = argument.find('=');
    if (eq == std::string_view::npos) {
        problem = "--sweep " + std::string(argument) + ": expected NAME=TEXT;TEXT;...";
        return std::nullopt;
    }
    SweepAxis axis;
    axis.option = std::string(argument.substr(0, eq));
    const PanelInput* input = FindPanelInputByOption(axis.option);
    if (!input) {
        problem = "--sweep: unknown name \"" + axis.option + "\" (a box option without dashes, e.g. c, dt, mass3)";
        return std::nullopt;
    }
    axis.box = input->box;
    std::string_view rest = argument.substr(eq + 1);
    for (;;) {
        const std::size_t semi = rest.find(';');
        axis.texts.emplace_back(rest.substr(0, semi));
        if (semi == std::string_view::npos)
            break;
        rest.remove_prefix(semi + 1);
    }
    return axis;
}

std::optional<Sweep> Sweep::Make(std::vector<SweepAxis> axes, std::string& problem)
{
    Sweep sweep;
    for (std::size_t a = 0; a < axes.size(); ++a) {
        for (std::size_t b = 0; b < a; ++b)
            if (axes[a].box == axes[b].box) {
                problem = "--sweep " + axes[a].option + " given twice";
                return std::nullopt;
            }
        const std::size_t n = axes[a].texts.size();
        if (n > std::numeric_limits<std::size_t>::max() / sweep.points_) {
            problem = "--sweep: too many points";
            return std::nullopt;
        }
        sweep.points_ *= n;
    }
    sweep.axes_ = std::move(axes);
    return sweep;
}

std::vector<std::pair<std::string, std::string>> Sweep::pointTexts(std::size_t index) const
{
    std::vector<std::pair<std::string, std::string>> texts(axes_.size());
    // Mixed radix, the last axis varying fastest.
    for (std::size_t a = axes_.size(); a-- > 0;) {
        const std::size_t n = axes_[a].texts.size();
        texts[a] = {axes_[a].option, axes_[a].texts[index % n]};
        index /= n;
    }
    return texts;
}

std::string PointFileName(const std::string& path, std::size_t number)
{
    if (path.empty())
        return path;
    const std::size_t slash = path.find_last_of('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.find_last_of('.');
    // A leading dot names a hidden file, not an extension.
    const std::size_t cut = dot != std::string::npos && dot > nameStart ? dot : path.size();
    return path.substr(0, cut) + "-" + std::to_string(number) + path.substr(cut);
}

BatchOptions Sweep::pointOptions(const BatchOptions& base, std::size_t index) const
{
    BatchOptions o = base;
    const auto texts = pointTexts(index);
    for (std::size_t a = 0; a < axes_.size(); ++a) {
        const std::string& box = axes_[a].box;
        auto it = std::find_if(o.typed.begin(), o.typed.end(), [&](const auto& t) { return t.first == box; });
        if (it != o.typed.end())
            it->second = texts[a].second;
        else
            o.typed.emplace_back(box, texts[a].second);
    }
    for (std::string* file : {&o.apsisCsv, &o.simPng, &o.plotPng, &o.distanceCsv, &o.trajectoryCsv})
        *file = PointFileName(*file, index + 1);
    o.json = true;
    return o;
}

namespace {

struct PointOutcome {
    int status = 0;
    std::string line;     // the JSON line
    std::string problems; // "point N: ..." lines
};

PointOutcome RunPoint(const BatchOptions& base, const Sweep& sweep, std::size_t index)
{
    PointOutcome outcome;
    std::ostringstream err;
    nlohmann::json report;
    try {
        outcome.status = RunBatchReport(sweep.pointOptions(base, index), report, err);
    } catch (const std::exception& e) {
        err << "internal error: " << e.what() << "\n";
        outcome.status = 3;
    }
    // A point that could not run (a file it cannot open) still gets its line, so that line N
    // is always point N.
    if (report.is_null())
        report["error"] = err.str().substr(0, err.str().find('\n'));
    {
        nlohmann::json point = nlohmann::json::object();
        for (const auto& [option, text] : sweep.pointTexts(index))
            point[option] = text;
        report["point"] = point;
        outcome.line = report.dump() + "\n";
    }
    std::istringstream lines(err.str());
    const std::string prefix = "gravlag-batch: ";
    for (std::string l; std::getline(lines, l);) {
        if (l.compare(0, prefix.size(), prefix) == 0)
            l.erase(0, prefix.size());
        outcome.problems += prefix + "point " + std::to_string(index + 1) + ": " + l + "\n";
    }
    return outcome;
}

// Fails when a file of the first point cannot be created; every point writes its files in
// the same folders, so a sweep that would fail at every point does not start at all.
bool FirstPointFilesOpen(const BatchOptions& first, std::ostream& err)
{
    const std::pair<const std::string*, const char*> files[] = {
        {&first.apsisCsv, "--apsis-csv"}, {&first.distanceCsv, "--distance-csv"},
        {&first.trajectoryCsv, "--trajectory-csv"}, {&first.simPng, "--sim-png"},
        {&first.plotPng, "--plot-png"}};
    for (const auto& [path, option] : files) {
        if (path->empty())
            continue;
        if (!std::ofstream(*path, std::ios::binary | std::ios::app)) {
            err << "gravlag-batch: " << option << ": cannot write " << *path << "\n";
            return false;
        }
    }
    return true;
}

std::string Tenths(std::chrono::steady_clock::duration d)
{
    const auto tenths = std::chrono::duration_cast<std::chrono::milliseconds>(d).count() / 100;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

} // namespace

int RunSweep(const BatchOptions& base, const Sweep& sweep, unsigned jobs, std::ostream& out,
             std::ostream& err, bool progress)
{
    const std::size_t n = sweep.points();
    if (n == 0)
        return 0;
    if (!FirstPointFilesOpen(sweep.pointOptions(base, 0), err))
        return 2;

    std::vector<std::optional<PointOutcome>> outcomes(n);
    std::atomic<std::size_t> next{0};
    std::mutex mutex;
    std::condition_variable finished;
    std::size_t done = 0;
    const auto work = [&] {
        for (std::size_t i; (i = next.fetch_add(1)) < n;) {
            PointOutcome o = RunPoint(base, sweep, i);
            const std::lock_guard lock(mutex);
            outcomes[i] = std::move(o);
            ++done;
            finished.notify_one();
        }
    };
    const std::size_t threads = std::clamp<std::size_t>(jobs, 1, n);
    std::vector<std::jthread> workers;
    for (std::size_t t = 0; t < threads; ++t)
        workers.emplace_back(work);

    // Writes each point as soon as it and every point before it are done.
    const auto start = std::chrono::steady_clock::now();
    int status = 0;
    std::size_t written = 0;
    std::unique_lock lock(mutex);
    while (written < n) {
        finished.wait_for(lock, std::chrono::seconds(1));
        std::vector<PointOutcome> ready;
        for (; written < n && outcomes[written]; ++written)
            ready.push_back(std::move(*outcomes[written]));
        const std::size_t doneNow = done;
        lock.unlock();
        for (const PointOutcome& o : ready) {
            status = std::max(status, o.status);
            if (progress && !o.problems.empty())
                err << "\r\033[K";
            err << o.problems;
            out << o.line;
        }
        out.flush();
        if (progress)
            err << "\r\033[Ksweep: " << doneNow << " of " << n << " points done, "
                << Tenths(std::chrono::steady_clock::now() - start) << " s" << std::flush;
        lock.lock();
    }
    lock.unlock();
    if (progress)
        err << "\n";
    return status;
}

} // namespace gravlag
