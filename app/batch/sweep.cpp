#include "app/batch/sweep.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <new>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <thread>

#include "app/batch/batch_outputs.h"
#include "app/batch/batch_run.h"
#include "app/batch/lane_scheduler.h"
#include "app/batch/memory_reserve.h"
#include "app/batch/out_folder.h"
#include "app/batch/point_report.h"
#include "app/batch/problem.h"
#include "app/batch/stop_signals.h"
#include "app/batch/thread_start.h"
#include "app/files/output_file.h"
#include "app/files/utf8_text.h"
#include "panel/panel_inputs.h"
#include "ui/headless/pixel_paper.h"

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
        if (!IsUtf8(axis.texts.back())) {
            problem = "--sweep " + axis.option + ": text " + std::to_string(axis.texts.size())
                + " is not valid UTF-8";
            return std::nullopt;
        }
        if (semi == std::string_view::npos)
            break;
        rest.remove_prefix(semi + 1);
    }
    // "c=1;;2" is a slip far more often than a point meant to run with an empty box; that
    // point is asked for as the whole list ("c=").
    if (axis.texts.size() > 1)
        for (std::size_t i = 0; i < axis.texts.size(); ++i)
            if (axis.texts[i].empty()) {
                problem = "--sweep " + axis.option + ": text " + std::to_string(i + 1)
                    + " is empty (an empty box is swept alone: " + axis.option + "=)";
                return std::nullopt;
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
        const std::uint64_t n = axes[a].texts.size();
        if (n > kMaxPoints / sweep.points_) {
            problem = "--sweep: the grid has more than 2^63 points";
            return std::nullopt;
        }
        sweep.points_ *= n;
    }
    sweep.axes_ = std::move(axes);
    return sweep;
}

std::vector<std::pair<std::string, std::string>> Sweep::pointTexts(std::uint64_t index) const
{
    std::vector<std::pair<std::string, std::string>> texts(axes_.size());
    // Mixed radix, the last axis varying fastest.
    for (std::size_t a = axes_.size(); a-- > 0;) {
        const std::uint64_t n = axes_[a].texts.size();
        texts[a] = {axes_[a].option, axes_[a].texts[index % n]};
        index /= n;
    }
    return texts;
}

std::string PointFileName(const std::string& path, std::uint64_t number)
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

BatchOptions Sweep::pointOptions(const BatchOptions& base, std::uint64_t index, const std::string& outDir) const
{
    BatchOptions o = base;
    const auto texts = pointTexts(index);
    for (std::size_t a = 0; a < axes_.size(); ++a)
        TypeOver(o, axes_[a].box, texts[a].second);
    const std::string folder = outDir.empty() ? "" : outDir + "/";
    for (const OutputOption& output : FileOptions())
        if (std::string& file = o.*output.path; !file.empty())
            file = folder + PointFileName(file, index + 1);
    if (!outDir.empty())
        o.reportFile = folder + PointFileName("point.json", index + 1);
    o.json = true;
    return o;
}

int RunNewPoint(const BatchOptions& options, const nlohmann::json& point, nlohmann::json& report,
                BatchProblems& problems)
{
    int status = kExitCompleted;
    try {
        status = RunBatchReport(options, report, problems);
    } catch (const std::bad_alloc&) {
        throw; // the caller's to report: it has no memory to make a line with either
    } catch (const std::exception& e) {
        problems.push_back({ProblemKind::Internal, {}, std::string("internal error: ") + e.what()});
        status = ExitStatusOf(ProblemKind::Internal);
        report = nullptr;
    }
    const bool ran = !report.is_null();
    // A point that could not run (a file it cannot create) still gets its line, so that the
    // lines follow the points.
    if (!ran) {
        report = nlohmann::json::object(); // not made by its first key (see batch_run.cpp's Report)
        report["error"] = problems.empty() ? std::string() : ProblemText(problems.front());
    }
    report["point"] = point;
    if (ran && !options.reportFile.empty() && !WritePointReport(options, report)) {
        problems.push_back({ProblemKind::Output, {}, report["outputErrors"].back().get<std::string>()});
        status = WorseStatus(status, ExitStatusOf(ProblemKind::Output));
    }
    return status;
}

int LaneWidth(unsigned lanes)
{
    const int widest = LaneGroup::WidestLanes();
    return lanes >= 8 && widest >= 8 ? 8 : lanes >= 4 && widest >= 4 ? 4 : 1;
}

namespace {

struct PointOutcome {
    int status = 0;
    std::string line;     // the JSON line; empty for a point a signal kept from starting
    BatchProblems problems;    // each about "point N"
    std::uint64_t number = 0;  // N
};

// A point out of memory with no memory left to make its line or its message: said from
// the stack.
void SayOutOfMemoryWithoutLine(std::ostream& err, std::uint64_t number)
{
    static constexpr std::string_view kPoint = "point ", kEnd = ": out of memory, and no memory was left for its line\n";
    char text[sizeof kProblemPrefix + kPoint.size() + 20 + kEnd.size()];
    char* end = std::copy_n(kProblemPrefix, sizeof kProblemPrefix - 1, text);
    end = std::copy(kPoint.begin(), kPoint.end(), end);
    end = std::to_chars(end, text + sizeof text, number).ptr;
    end = std::copy(kEnd.begin(), kEnd.end(), end);
    err.write(text, end - text);
}

PointOutcome RunPoint(const BatchOptions& base, const Sweep& sweep, const SweepSettings& settings,
                      std::uint64_t index)
{
    PointOutcome outcome;
    outcome.number = index + 1;
    const BatchOptions options = sweep.pointOptions(base, index, settings.outDir);
    nlohmann::json point = nlohmann::json::object();
    for (const auto& [option, text] : sweep.pointTexts(index))
        point[option] = text;
    BatchProblems problems;
    nlohmann::json report;
    PointLock lock;
    std::string locked;
    if (!settings.outDir.empty() && !lock.lock(settings.outDir, index + 1, locked)) {
        report["error"] = locked;
        report["point"] = point;
        outcome.status = ExitStatusOf(ProblemKind::Refused);
        outcome.line = JsonLine(report) + "\n";
        problems.push_back({ProblemKind::Refused, {}, locked});
    } else if (settings.resume && ResumedReport(options, report, outcome.status)) {
        outcome.line = JsonLine(report) + "\n";
        if (report.contains("message") && report["message"].is_string())
            problems.push_back({ProblemKind::Fault, {}, report["message"].get<std::string>()}); // kept: a fault
    } else {
        outcome.status = RunNewPoint(options, point, report, problems);
        // Taken just as a signal came, and not started: no line, as for the points after it.
        if (outcome.status >= kExitSignalBase && !report.contains("passes"))
            return outcome;
        outcome.line = JsonLine(report) + "\n";
    }
    const std::string subject = "point " + std::to_string(index + 1);
    for (BatchProblem& p : problems)
        outcome.problems.push_back(About(subject, std::move(p)));
    return outcome;
}

// RunPoint, or for a point that ran out of memory, its line with "error" when there is
// memory left to make it, and status 4. Whatever it held is freed as the run unwinds (its
// temporaries removed), so the points after it may still run.
PointOutcome RunPointInMemory(const BatchOptions& base, const Sweep& sweep, const SweepSettings& settings,
                              std::uint64_t index)
{
    PointOutcome outcome;
    outcome.number = index + 1;
    outcome.status = ExitStatusOf(ProblemKind::OutOfMemory);
    MemoryDealtWith(); // a refusal before this point is no part of it
    try {
        return RunPoint(base, sweep, settings, index);
    } catch (const std::bad_alloc&) {
    }
    MemoryDealtWith();
    RenewMemoryReserve();
    try {
        nlohmann::json line = {{"error", "out of memory"}, {"point", nlohmann::json::object()}};
        for (const auto& [option, text] : sweep.pointTexts(index))
            line["point"][option] = text;
        outcome.line = JsonLine(line) + "\n";
        outcome.problems.push_back({ProblemKind::OutOfMemory, "point " + std::to_string(index + 1), "out of memory"});
    } catch (const std::bad_alloc&) {
        outcome.line.clear();
        outcome.problems.clear();
    }
    return outcome;
}

// Every point writes its files in the same folders under the same names but for the number:
// the first point's are checked (and created and removed) before anything runs, so that a
// sweep that would fail at every point does not start. Each point checks its own again when
// it starts, which finds what only a later number meets (an output that is the --params file).
bool FirstPointFilesWritable(const BatchOptions& first, std::ostream& err)
{
    std::string problem;
    if (!CheckOutputClashes(first, problem)) {
        Say(err, {ProblemKind::Refused, {}, problem});
        return false;
    }
    for (const NamedPath& p : OutputPaths(first)) {
        // A device or a FIFO is written in place: opening it here would be a write of its own
        // (a FIFO's reader would see its end).
        if (const FileKey key = KeyOf(p.path); key.exists && !key.regular)
            continue;
        OutputFile file;
        if (!file.open(p.path)) {
            Say(err, {ProblemKind::Refused, p.option, file.error()});
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

int RunSweep(const BatchOptions& base, const Sweep& sweep, const SweepSettings& settings,
             std::ostream& out, std::ostream& err)
{
    const PointList points = settings.points.value_or(PointList::All(sweep.points()));
    const std::uint64_t n = points.count();
    if (n == 0)
        return kExitCompleted;
    OutFolder folder;
    if (!settings.outDir.empty()) {
        std::string problem;
        if (!folder.make(settings.outDir, problem)) {
            Say(err, {ProblemKind::Refused, {}, problem});
            return ExitStatusOf(ProblemKind::Refused);
        }
    }
    if (!FirstPointFilesWritable(sweep.pointOptions(base, points.first() - 1, settings.outDir), err)) {
        folder.removeIfMade(); // refused: nothing written
        return ExitStatusOf(ProblemKind::Refused);
    }

    // Points are taken in order; one may start only while fewer than `window` points wait
    // to be printed before it, which bounds what is held whatever the grid's size. A point
    // done waits in the ring at its place modulo `window`: nothing is allocated to hand it
    // over, so a point that ran out of memory is still handed over and printed.
    const std::size_t threads = static_cast<std::size_t>(std::clamp<std::uint64_t>(settings.jobs, 1, n));
    // Lanes need more points in progress on each thread than lanes (LaneScheduler::capacity).
    const int lanes = LaneWidth(settings.lanes);
    const std::uint64_t window = threads * (lanes > 1 ? 3 * static_cast<std::uint64_t>(lanes) + 4 : 4);
    PointList::Cursor cursor(points);
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::optional<PointOutcome>> ring(window);
    std::vector<std::uint64_t> indexAt(window); // each place's point, while it runs in lanes
    std::uint64_t taken = 0, written = 0, done = 0, printed = 0;
    std::size_t working = 0;
    bool exhausted = false;
    // The next point to run, if any: none after a signal or at the end.
    const auto next = [&]() -> std::optional<std::uint64_t> {
        std::optional<std::uint64_t> number;
        if (!exhausted && StopSignal() == 0)
            number = cursor.next();
        exhausted = !number;
        return number;
    };
    const auto finish = [&](std::uint64_t place, PointOutcome&& o) {
        std::unique_lock lock(mutex);
        ring[place % window] = std::move(o);
        ++done;
        changed.notify_all();
    };
    // With lanes, a thread takes points while it has some in progress, as long as the window
    // has room and it holds fewer than its share of the sweep (so that a small sweep keeps
    // every thread busy); it waits only when it has none.
    const std::uint64_t share = (n + threads - 1) / threads;
    const auto workAlone = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return taken - written < window || exhausted; });
            const std::optional<std::uint64_t> number = next();
            if (!number)
                break;
            const std::uint64_t place = taken++;
            lock.unlock();
            PointOutcome o = RunPointInMemory(base, sweep, settings, *number - 1);
            lock.lock();
            ring[place % window] = std::move(o);
            ++done;
            changed.notify_all();
        }
    };
    const auto workInLanes = [&] {
        try {
            LaneScheduler scheduler(lanes);
            std::uint64_t mine = 0; // points under way on this thread's fibers
            scheduler.run(
                [&](bool wait) -> std::optional<std::uint64_t> {
                    std::unique_lock lock(mutex);
                    if (wait)
                        changed.wait(lock, [&] { return taken - written < window || exhausted; });
                    else if (!(taken - written < window) || mine >= share)
                        return std::nullopt;
                    const std::optional<std::uint64_t> number = next();
                    if (!number) {
                        scheduler.noneToCome();
                        return std::nullopt;
                    }
                    const std::uint64_t place = taken++;
                    indexAt[place % window] = *number - 1;
                    ++mine;
                    return place;
                },
                [&](std::uint64_t place) {
                    finish(place, RunPointInMemory(base, sweep, settings, indexAt[place % window]));
                    --mine;
                });
        } catch (const std::bad_alloc&) {
            // No memory to set the lanes up (a point taken is run whatever is left): this
            // thread runs its points alone.
            MemoryDealtWith();
            workAlone();
        }
    };
    const auto work = [&] {
        const MemoryWaits waits; // this thread's own reserve, for as long as it runs points
        if (lanes > 1)
            workInLanes();
        else
            workAlone();
        std::unique_lock lock(mutex);
        --working;
        changed.notify_all();
    };

    const auto start = std::chrono::steady_clock::now();
    int status = kExitCompleted;
    std::string outError;
    const auto print = [&](const PointOutcome& o) {
        status = WorseStatus(status, o.status);
        if (settings.progress && !o.problems.empty())
            err << "\r\033[K";
        Say(err, o.problems);
        if (o.line.empty() && o.problems.empty() && o.status == ExitStatusOf(ProblemKind::OutOfMemory))
            SayOutOfMemoryWithoutLine(err, o.number);
        out << o.line;
        printed += o.line.empty() ? 0 : 1;
    };
    const auto flushed = [&] {
        if (!out.flush() && outError.empty())
            outError = std::generic_category().message(errno);
    };
    const auto progress = [&](std::uint64_t doneNow) {
        if (settings.progress)
            err << "\r\033[Ksweep: " << doneNow << " of " << n << " points done, "
                << Tenths(std::chrono::steady_clock::now() - start) << " s" << std::flush;
    };

    std::vector<std::jthread> workers;
    {
        std::unique_lock lock(mutex);
        working = threads; // before any starts, so that none sees the count reach 0 early
    }
    const std::string unstarted = StartThreads(workers, threads, work);
    if (!unstarted.empty()) {
        std::unique_lock lock(mutex);
        working -= threads - workers.size();
        Say(err, {ProblemKind::Notice, {}, FewerThreadsText(settings.jobs, workers.size(), unstarted)});
    }
    if (workers.empty()) {
        // Not one thread: the points run here, one at a time.
        for (std::optional<std::uint64_t> number; (number = next());) {
            print(RunPointInMemory(base, sweep, settings, *number - 1));
            flushed();
            progress(++done);
        }
    } else {
        // Prints each point as soon as it and every point before it are done.
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait_for(lock, std::chrono::seconds(1));
            bool any = false;
            while (ring[written % window]) {
                const PointOutcome o = std::move(*ring[written % window]);
                ring[written % window].reset();
                any = true;
                ++written;
                changed.notify_all();
                lock.unlock();
                print(o);
                lock.lock();
            }
            const bool finished = working == 0 && written == taken;
            const std::uint64_t doneNow = done;
            lock.unlock();
            if (any)
                flushed();
            progress(doneNow);
            if (finished)
                break;
            lock.lock();
        }
    }
    ui::ReleaseKeptPapers(); // the points' windows are gone, and no more come
    if (settings.progress)
        err << "\n";
    if (const int signal = StopSignal(); signal != 0) {
        if (printed < n)
            Say(err, {ProblemKind::Stopped, SignalName(signal),
                      std::to_string(printed) + " of " + std::to_string(n) + " points run, the others not started"});
        status = WorseStatus(status, kExitSignalBase + signal);
    }
    if (!outError.empty()) {
        Say(err, {ProblemKind::Output, {}, "cannot write standard output: " + outError});
        status = WorseStatus(status, ExitStatusOf(ProblemKind::Output));
    }
    return status;
}

} // namespace gravlag
