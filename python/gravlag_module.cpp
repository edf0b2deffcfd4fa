// gravlag._gravlag: the batch runner's run routine for Python. A run is read from the batch
// runner's own command line (the same checks and messages) and made by RunBatchReport, or
// by RunNewPoint for a sweep's points; a run sink collects the export rows and the pictures
// into buffers that become NumPy arrays without a Python object per row. The GIL is released
// while runs go on.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <sstream>
#include <thread>
#include <vector>

#include <CLI/Error.hpp>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/batch/problem.h"
#include "app/batch/run_sink.h"
#include "app/batch/stop_signals.h"
#include "app/batch/lane_scheduler.h"
#include "app/batch/memory_reserve.h"
#include "app/batch/sweep.h"
#include "app/batch/thread_start.h"
#include "app/files/exact_text.h"
#include "app/files/param_file.h"
#include "panel/panel_inputs.h"
#include "system_binding.h"
#include "ui/user_number_format.h"

namespace py = pybind11;

namespace gravlag {

namespace {

constexpr std::size_t kExports = 4; // CsvExport's values

// One export's rows as packed records: its whole-number cells as int64, then its numbers as
// float64, an empty cell as NaN.
struct Table {
    std::vector<std::string> names;
    std::size_t wholes = 0;
    std::size_t rows = 0;
    std::vector<unsigned char> bytes;
};

class Collector final : public RunSink {
public:
    Collector(const std::array<bool, kExports>& wanted, bool pictures)
        : wanted_(wanted), pictures_(pictures)
    {
    }
    bool wants(CsvExport which) const override { return wanted_[index(which)]; }
    bool wantsPictures() const override { return pictures_; }
    void header(CsvExport which, std::string_view text) override
    {
        Table& t = tables[index(which)];
        t.names.clear();
        text = text.substr(0, text.find('\n'));
        for (std::size_t start = 0;;) {
            const std::size_t comma = text.find(',', start);
            t.names.emplace_back(text.substr(start, comma - start));
            if (comma == std::string_view::npos)
                break;
            start = comma + 1;
        }
        t.wholes = which == CsvExport::Apsis ? 2 : 1; // k, and apsisCount
    }
    void row(CsvExport which, const CsvRow& row) override
    {
        Table& t = tables[index(which)];
        // Made apart and appended: growing the table by resize() would first zero what the
        // row then overwrites, a million rows' worth in a long export.
        scratch_.resize(8 * (row.wholeCount + row.numberCount));
        unsigned char* p = scratch_.data();
        for (std::size_t i = 0; i < row.wholeCount; ++i, p += 8)
            std::memcpy(p, &row.wholes[i], 8);
        for (std::size_t i = 0; i < row.numberCount; ++i, p += 8) {
            const double v = row.numbers[i].value_or(std::numeric_limits<double>::quiet_NaN());
            std::memcpy(p, &v, 8);
        }
        t.bytes.insert(t.bytes.end(), scratch_.begin(), scratch_.end());
        ++t.rows;
    }
    void pictures(ui::PixelPaper&& simulation, ui::PixelPaper&& plot) override
    {
        // The windows' papers, kept as drawn: made into pixels only when Python reads them, so
        // that a run whose pictures nobody looks at writes no 0.7 MB of pixels into fresh pages.
        this->simulation = std::move(simulation);
        this->plot = std::move(plot);
    }

    std::array<Table, kExports> tables;
    ui::PixelPaper simulation, plot;

private:
    static std::size_t index(CsvExport which) { return static_cast<std::size_t>(which); }
    std::array<bool, kExports> wanted_;
    bool pictures_;
    std::vector<unsigned char> scratch_; // one row's cells
};

// What one run gives, before it meets Python.
struct Outcome {
    int status = 0;
    std::string json; // the --json object (a sweep point's with "point"); empty: no run made
    // The fields of it that a Result holds, so that Python parses none; absent: empty.
    struct Head {
        std::optional<std::string> ended, message, signal, error;
        std::optional<std::int64_t> passes, lastPass;
    } head;
    std::optional<BatchProblem> problem; // the first the run met (a notice of fewer threads aside)
    bool interrupted = false;
    bool outOfMemory = false; // MemoryError, once every point is back
    std::unique_ptr<Collector> collected;
};

// A problem as the exception of its kind.
[[noreturn]] void Raise(const BatchProblem& problem)
{
    const std::string text = ProblemText(problem);
    switch (problem.kind) {
    case ProblemKind::Refused:
        throw py::value_error(text);
    case ProblemKind::OutOfMemory:
        throw std::bad_alloc(); // MemoryError
    case ProblemKind::Output:
        PyErr_SetString(PyExc_OSError, text.c_str());
        throw py::error_already_set();
    case ProblemKind::Fault:
    case ProblemKind::Internal:
    case ProblemKind::Stopped:
    case ProblemKind::Notice:
        break;
    }
    throw std::runtime_error(text); // RuntimeError
}

template <typename T>
py::array Owned(std::vector<T>&& data, const py::dtype& dtype, std::vector<py::ssize_t> shape,
                std::vector<py::ssize_t> strides)
{
    if (data.empty())
        return py::array(dtype, shape, strides);
    auto* held = new std::vector<T>(std::move(data));
    const py::capsule owner(held, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array(dtype, shape, strides, held->data(), owner);
}

// One dtype per export's columns, shared by every array of it: a sweep's points would
// otherwise hold a dtype each. Made with the GIL held; kept for the process's life (never
// released, so that no Python object outlives the interpreter in a static's destructor).
py::dtype TableType(const Table& t)
{
    std::string key = std::to_string(t.wholes);
    for (const std::string& name : t.names)
        key += "," + name;
    static auto* made = new std::map<std::string, py::dtype>();
    if (const auto it = made->find(key); it != made->end())
        return it->second;
    py::list names, formats;
    for (std::size_t i = 0; i < t.names.size(); ++i) {
        names.append(t.names[i]);
        formats.append(i < t.wholes ? "<i8" : "<f8");
    }
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    return made->emplace(std::move(key), py::dtype::from_args(layout)).first->second;
}

py::object TableArray(Table& t)
{
    const py::dtype dtype = TableType(t);
    const auto rows = static_cast<py::ssize_t>(t.rows);
    return Owned(std::move(t.bytes), dtype, {rows}, {static_cast<py::ssize_t>(dtype.itemsize())});
}

// A display as drawn, until Python asks for its pixels.
struct Picture {
    ui::PixelPaper paper;
};

// The picture as height x width x 3 uint8, what a PNG file of it holds.
py::object PictureArray(const Picture& picture)
{
    static_assert(sizeof(ui::Rgb) == 3 && alignof(ui::Rgb) == 1); // r, g, b bytes, rows packed
    ui::Surface p;
    picture.paper.writeTo(p);
    return Owned(std::move(p.pixels), py::dtype::of<std::uint8_t>(), {p.height, p.width, 3},
                 {static_cast<py::ssize_t>(p.width) * 3, 3, 1});
}

py::dict ToPython(Outcome& o, const std::array<bool, kExports>& wanted)
{
    py::dict d;
    d["status"] = o.status;
    d["json"] = o.json.empty() ? py::object(py::none()) : py::str(o.json);
    d["interrupted"] = o.interrupted;
    // As a tuple, the common texts shared: a sweep holds every point's until its Results
    // are made.
    const auto text = [](const std::optional<std::string>& t) -> py::object {
        if (!t)
            return py::none();
        if (*t == "completed" || *t == "stopped" || *t == "fault") {
            PyObject* shared = PyUnicode_InternFromString(t->c_str());
            if (!shared)
                throw py::error_already_set(); // MemoryError
            return py::reinterpret_steal<py::object>(shared);
        }
        return py::str(*t);
    };
    const auto whole = [](const std::optional<std::int64_t>& v) -> py::object {
        return v ? py::object(py::int_(*v)) : py::object(py::none());
    };
    const Outcome::Head& h = o.head;
    d["head"] = py::make_tuple(text(h.ended), text(h.message), whole(h.passes), whole(h.lastPass),
                               text(h.signal), text(h.error));
    if (o.collected && !o.json.empty()) {
        const char* keys[] = {"apsis_events", "distances", "trajectory", "elements"};
        for (std::size_t i = 0; i < kExports; ++i)
            d[keys[i]] = wanted[i] ? TableArray(o.collected->tables[i]) : py::object(py::none());
        if (o.collected->wantsPictures()) {
            d["simulation"] = py::cast(Picture{std::move(o.collected->simulation)});
            d["plot"] = py::cast(Picture{std::move(o.collected->plot)});
        }
    }
    return d;
}

// The command line as the batch runner reads it, with a parameter file's text from Python
// in place of --params.
BatchCommand Command(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText)
{
    BatchProblem refused;
    std::optional<BatchCommand> command = ParseBatchCommand(arguments, refused);
    if (!command)
        Raise(refused);
    if (paramsText) {
        std::string problem;
        command->options.params
            = ParseParamFile(*paramsText, command->options.regional, command->options.reading, problem);
        if (!command->options.params)
            Raise({ProblemKind::Refused, "--params", problem});
    }
    return std::move(*command);
}

// Runs, with SIGINT as a stop when asked (Python's main thread, its default handler).
template <typename Work>
void Interruptible(bool interrupt, Work&& work)
{
    py::gil_scoped_release released;
    std::optional<InterruptStopsRuns> scope;
    if (interrupt)
        scope.emplace();
    work();
}

Outcome RunOne(BatchOptions options, const std::array<bool, kExports>& wanted, bool pictures,
               const std::optional<nlohmann::json>& point)
{
    Outcome o;
    BatchProblems problems;
    nlohmann::json report;
    try {
        o.collected = std::make_unique<Collector>(wanted, pictures);
        options.sink = o.collected.get();
        o.status = point ? RunNewPoint(options, *point, report, problems) : RunBatchReport(options, report, problems);
    } catch (const std::bad_alloc&) {
        o = Outcome{};
        o.outOfMemory = true;
        return o;
    } catch (const std::exception& e) {
        problems.push_back({ProblemKind::Internal, {}, std::string("internal error: ") + e.what()});
        o.status = ExitStatusOf(ProblemKind::Internal);
        report = nullptr;
    }
    // As the batch runner prints: a sweep point's line unless a signal kept it from starting.
    if (point ? !(o.status >= kExitSignalBase && !report.contains("passes")) : !report.is_null())
        o.json = JsonLine(report);
    if (!o.json.empty() && report.is_object()) {
        const auto text = [&report](const char* key) -> std::optional<std::string> {
            const auto it = report.find(key);
            return it != report.end() && it->is_string() ? std::optional(it->get<std::string>()) : std::nullopt;
        };
        const auto whole = [&report](const char* key) -> std::optional<std::int64_t> {
            const auto it = report.find(key);
            return it != report.end() && it->is_number_integer() ? std::optional(it->get<std::int64_t>()) : std::nullopt;
        };
        o.head = {text("ended"), text("message"), text("signal"), text("error"), whole("passes"), whole("lastPass")};
    }
    for (const BatchProblem& p : problems)
        if (p.kind != ProblemKind::Notice) {
            o.problem = p;
            break;
        }
    return o;
}

py::dict Run(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText,
             const std::array<bool, kExports>& wanted, bool interrupt, bool pictures)
{
    BatchCommand command = Command(arguments, paramsText);
    if (command.sweep)
        throw py::value_error("--sweep: give the grid to sweep()");
    Outcome o;
    Interruptible(interrupt, [&] {
        const MemoryWaits waits;
        o = RunOne(command.options, wanted, pictures, std::nullopt);
        o.interrupted = interrupt && StopSignal() == SIGINT;
    });
    if (o.outOfMemory)
        throw std::bad_alloc(); // MemoryError
    if (o.json.empty() && !o.interrupted) // no run made
        Raise(o.problem.value_or(BatchProblem{ProblemKind::Internal, {}, "no run was made"}));
    return ToPython(o, wanted);
}

// What a run's set-up makes of the scenario and boxes: the start state of its active bodies
// and what steps them, before pass 0; no pass is made.
class StartState final : public RunSink {
public:
    bool begin(const SimState& state, const RunValues& run, const Model& model) override
    {
        state_ = state;
        run_ = run;
        model_ = model;
        begun_ = true;
        return false;
    }
    bool wants(CsvExport) const override { return false; }
    void header(CsvExport, std::string_view) override {}
    void row(CsvExport, const CsvRow&) override {}
    bool wantsPictures() const override { return false; }
    void pictures(ui::PixelPaper&&, ui::PixelPaper&&) override {}

    py::dict toPython() const
    {
        py::list m, x, y, vx, vy;
        for (int i = 0; i <= run_.nLast; ++i) {
            m.append(state_.mass[i]);
            x.append(state_.x[i]);
            y.append(state_.y[i]);
            vx.append(state_.vx[i]);
            vy.append(state_.vy[i]);
        }
        py::dict d;
        d["m"] = m;
        d["x"] = x;
        d["y"] = y;
        d["vx"] = vx;
        d["vy"] = vy;
        d["c"] = state_.c > 0 ? state_.c : 0.0; // the set-up's: c <= 0 is no delay
        d["dt"] = state_.dt;
        d["prediction"] = run_.method == RetardationMethod::HistoryLookup ? 1 : 0;
        d["integrator"] = std::string(IntegratorName(model_.integrator));
        d["force_law"] = std::string(ForceLawName(model_.forceLaw));
        d["tolerance"] = model_.tolerance;
        d["passes"] = run_.lastPass + 1;
        d["scenario"] = state_.scenarioCode == Scenario::Mercury ? "Mercury" : "2 BH's";
        return d;
    }
    bool begun() const { return begun_; }

private:
    SimState state_;
    RunValues run_;
    Model model_;
    bool begun_ = false;
};

py::dict Start(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText)
{
    BatchCommand command = Command(arguments, paramsText);
    if (command.sweep)
        throw py::value_error("--sweep: a start state is one run's");
    StartState start;
    command.options.sink = &start;
    BatchProblems problems;
    {
        py::gil_scoped_release released;
        nlohmann::json report;
        RunBatchReport(command.options, report, problems);
    }
    if (!start.begun()) {
        for (const BatchProblem& p : problems)
            if (p.kind != ProblemKind::Notice)
                Raise(p);
        Raise({ProblemKind::Internal, {}, "no run was made"});
    }
    return start.toPython();
}

std::uint64_t SweepPoints(const std::vector<std::string>& arguments)
{
    const BatchCommand command = Command(arguments, std::nullopt);
    return command.sweep ? command.sweep->points() : 1;
}

// Points `indices` of the command's sweep on --jobs threads (default: one per processor), each
// as the batch runner's --sweep runs it. After a signal no further point starts; those give
// no run.
py::list RunPoints(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText,
                   const std::array<bool, kExports>& wanted, const std::vector<std::uint64_t>& indices,
                   bool interrupt, bool pictures)
{
    const BatchCommand command = Command(arguments, paramsText);
    if (!command.sweep)
        throw py::value_error("no --sweep: a grid is needed");
    const Sweep& sweep = *command.sweep;
    for (const std::uint64_t i : indices)
        if (i >= sweep.points())
            throw py::index_error("point " + std::to_string(i) + " of " + std::to_string(sweep.points()));
    std::vector<Outcome> outcomes(indices.size());
    bool interrupted = false;
    std::string unstarted;
    std::size_t started = 0;
    Interruptible(interrupt, [&] {
        std::atomic<std::size_t> next{0};
        const auto runAt = [&](std::size_t n) {
            const MemoryWaits waits;
            try {
                nlohmann::json point = nlohmann::json::object();
                for (const auto& [option, text] : sweep.pointTexts(indices[n]))
                    point[option] = text;
                outcomes[n] = RunOne(sweep.pointOptions(command.options, indices[n]), wanted,
                                     pictures, point);
            } catch (const std::bad_alloc&) {
                outcomes[n].outOfMemory = true;
            }
        };
        const auto work = [&] {
            for (std::size_t n; StopSignal() == 0 && (n = next++) < indices.size();)
                runAt(n);
        };
        // With lanes, each thread runs its points on fibers, their passes in lanes.
        const int lanes = LaneWidth(command.settings.lanes);
        const auto workInLanes = [&] {
            try {
                LaneScheduler scheduler(lanes);
                scheduler.run(
                    [&](bool) -> std::optional<std::uint64_t> {
                        std::size_t n = 0;
                        if (StopSignal() != 0 || (n = next++) >= indices.size()) {
                            scheduler.noneToCome();
                            return std::nullopt;
                        }
                        return n;
                    },
                    runAt);
            } catch (const std::bad_alloc&) {
                // No memory to set the lanes up (a point taken is run whatever is left):
                // this thread runs its points alone.
                MemoryDealtWith();
                work();
            }
        };
        // A MemoryWaits for the thread's whole work: its points' own (runAt's) then nest
        // inside it, also on fibers, which end them in any order.
        const std::function<void()> thread = [&] {
            const MemoryWaits waits;
            if (lanes > 1)
                workInLanes();
            else
                work();
        };
        const std::size_t threads
            = std::clamp<std::size_t>(command.settings.jobs, 1, std::max<std::size_t>(indices.size(), 1));
        {
            // Fewer when the system starts fewer: this thread works too.
            std::vector<std::jthread> helpers;
            unstarted = StartThreads(helpers, threads - 1, thread);
            started = helpers.size() + 1;
            thread();
        }
        interrupted = interrupt && StopSignal() == SIGINT;
    });
    for (const Outcome& o : outcomes)
        if (o.outOfMemory) {
            outcomes.clear();
            throw std::bad_alloc(); // MemoryError
        }
    if (!unstarted.empty()
        && PyErr_WarnEx(PyExc_RuntimeWarning, FewerThreadsText(command.settings.jobs, started, unstarted).c_str(), 1) != 0)
        throw py::error_already_set(); // warnings made errors
    py::list results;
    for (Outcome& o : outcomes) {
        o.interrupted = interrupted;
        results.append(ToPython(o, wanted));
        o = Outcome{}; // gone once in Python: a sweep's peak is not twice its results
    }
    return results;
}

std::string UnknownOption(const std::string& argument) { return CLI::ExtrasError({argument}).what(); }

// A number typed into a box option's box as a parameter file's number is typed.
std::string BoxText(const std::string& option, double number)
{
    const PanelInput* input = FindPanelInputByOption(option);
    if (!input)
        throw py::value_error(UnknownOption("--" + option));
    return BoxTextOfNumber(number, *input, ui::UserRegionalFormat());
}

std::vector<std::string> BoxOptions()
{
    std::vector<std::string> options;
    for (const PanelInput& input : PanelInputs())
        options.emplace_back(input.option);
    return options;
}

} // namespace

} // namespace gravlag

PYBIND11_MODULE(_gravlag, m)
{
    using namespace gravlag;
    m.doc() = "gravlag's batch run routine; use the gravlag package";
    // Unless another module set a new-handler first. Threads outside a MemoryWaits (the
    // interpreter's own) are refused memory as without one.
    if (!std::get_new_handler())
        InstallMemoryWaits(8 * 1024 * 1024);
    m.def("run", &Run, py::arg("arguments"), py::arg("params_text"), py::arg("wanted"), py::arg("interrupt"),
          py::arg("pictures") = true);
    m.def("start_state", &Start, py::arg("arguments"), py::arg("params_text"));
    m.def("sweep_points", &SweepPoints, py::arg("arguments"));
    m.def("run_points", &RunPoints, py::arg("arguments"), py::arg("params_text"), py::arg("wanted"),
          py::arg("indices"), py::arg("interrupt"), py::arg("pictures") = true);
    py::class_<Picture>(m, "Picture", "a display as drawn; array() gives its pixels")
        .def("array", &PictureArray);
    m.def("exact_text", [](double v) { return ExactText(v); });
    m.def("box_text", &BoxText, py::arg("option"), py::arg("number"));
    m.def("unknown_option", &UnknownOption);
    m.def("box_options", &BoxOptions);
    BindSystem(m);
}
