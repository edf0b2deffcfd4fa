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
#include <memory>
#include <new>
#include <sstream>
#include <thread>
#include <vector>

#include <CLI/Error.hpp>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include "app/batch/batch_cli.h"
#include "app/batch/batch_run.h"
#include "app/batch/run_sink.h"
#include "app/batch/stop_signals.h"
#include "app/batch/lane_scheduler.h"
#include "app/batch/sweep.h"
#include "app/batch/thread_start.h"
#include "app/files/exact_text.h"
#include "app/files/param_file.h"
#include "panel/panel_inputs.h"
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

struct Picture {
    int width = 0, height = 0;
    std::vector<unsigned char> rgb;
};

class Collector final : public RunSink {
public:
    explicit Collector(const std::array<bool, kExports>& wanted) : wanted_(wanted) {}
    bool wants(CsvExport which) const override { return wanted_[index(which)]; }
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
        const std::size_t at = t.bytes.size();
        t.bytes.resize(at + 8 * (row.wholeCount + row.numberCount));
        unsigned char* p = t.bytes.data() + at;
        for (std::size_t i = 0; i < row.wholeCount; ++i, p += 8)
            std::memcpy(p, &row.wholes[i], 8);
        for (std::size_t i = 0; i < row.numberCount; ++i, p += 8) {
            const double v = row.numbers[i].value_or(std::numeric_limits<double>::quiet_NaN());
            std::memcpy(p, &v, 8);
        }
        ++t.rows;
    }
    void pictures(const ui::Surface& simulation, const ui::Surface& plot) override
    {
        static_assert(sizeof(ui::Rgb) == 3);
        for (auto [surface, picture] : {std::pair{&simulation, &this->simulation}, {&plot, &this->plot}}) {
            picture->width = surface->width;
            picture->height = surface->height;
            picture->rgb.resize(surface->pixels.size() * 3);
            std::memcpy(picture->rgb.data(), surface->pixels.data(), picture->rgb.size());
        }
    }

    std::array<Table, kExports> tables;
    Picture simulation, plot;

private:
    static std::size_t index(CsvExport which) { return static_cast<std::size_t>(which); }
    std::array<bool, kExports> wanted_;
};

// What one run gives, before it meets Python.
struct Outcome {
    int status = 0;
    std::string json;    // the --json object (a sweep point's with "point"); empty: no run made
    std::string problem; // the first line the run said, "gravlag-batch: " left off
    bool interrupted = false;
    bool outOfMemory = false; // MemoryError, once every point is back
    std::unique_ptr<Collector> collected;
};

std::string FirstLine(const std::string& said)
{
    std::string line = said.substr(0, said.find('\n'));
    const std::string prefix = "gravlag-batch: ";
    if (line.compare(0, prefix.size(), prefix) == 0)
        line.erase(0, prefix.size());
    return line;
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

py::object TableArray(Table& t)
{
    py::list names, formats;
    for (std::size_t i = 0; i < t.names.size(); ++i) {
        names.append(t.names[i]);
        formats.append(i < t.wholes ? "<i8" : "<f8");
    }
    py::dict layout;
    layout["names"] = names;
    layout["formats"] = formats;
    const py::dtype dtype = py::dtype::from_args(layout);
    const auto rows = static_cast<py::ssize_t>(t.rows);
    return Owned(std::move(t.bytes), dtype, {rows}, {static_cast<py::ssize_t>(dtype.itemsize())});
}

py::object PictureArray(Picture& p)
{
    return Owned(std::move(p.rgb), py::dtype::of<std::uint8_t>(), {p.height, p.width, 3},
                 {static_cast<py::ssize_t>(p.width) * 3, 3, 1});
}

py::dict ToPython(Outcome& o, const std::array<bool, kExports>& wanted)
{
    py::dict d;
    d["status"] = o.status;
    d["json"] = o.json.empty() ? py::object(py::none()) : py::str(o.json);
    d["problem"] = o.problem;
    d["interrupted"] = o.interrupted;
    if (o.collected && !o.json.empty()) {
        const char* keys[] = {"apsis_events", "distances", "trajectory", "elements"};
        for (std::size_t i = 0; i < kExports; ++i)
            d[keys[i]] = wanted[i] ? TableArray(o.collected->tables[i]) : py::object(py::none());
        d["simulation"] = PictureArray(o.collected->simulation);
        d["plot"] = PictureArray(o.collected->plot);
    }
    return d;
}

// The command line as the batch runner reads it, with a parameter file's text from Python
// in place of --params.
BatchCommand Command(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText)
{
    std::string problem;
    std::optional<BatchCommand> command = ParseBatchCommand(arguments, problem);
    if (!command)
        throw py::value_error(problem);
    if (paramsText) {
        command->options.params = ParseParamFile(*paramsText, command->options.regional, problem);
        if (!command->options.params)
            throw py::value_error("--params: " + problem);
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

Outcome RunOne(BatchOptions options, const std::array<bool, kExports>& wanted,
               const std::optional<nlohmann::json>& point)
{
    Outcome o;
    std::ostringstream err;
    nlohmann::json report;
    try {
        o.collected = std::make_unique<Collector>(wanted);
        options.sink = o.collected.get();
        o.status = point ? RunNewPoint(options, *point, report, err) : RunBatchReport(options, report, err);
    } catch (const std::bad_alloc&) {
        o = Outcome{};
        o.outOfMemory = true;
        return o;
    } catch (const std::exception& e) {
        err << "gravlag-batch: internal error: " << e.what() << "\n";
        o.status = kExitFault;
        report = nullptr;
    }
    // As the batch runner prints: a sweep point's line unless a signal kept it from starting.
    if (point ? !(o.status >= kExitSignalBase && !report.contains("passes")) : !report.is_null())
        o.json = JsonLine(report);
    o.problem = FirstLine(err.str());
    return o;
}

py::dict Run(const std::vector<std::string>& arguments, const std::optional<std::string>& paramsText,
             const std::array<bool, kExports>& wanted, bool interrupt)
{
    BatchCommand command = Command(arguments, paramsText);
    if (command.sweep)
        throw py::value_error("--sweep: give the grid to sweep()");
    Outcome o;
    Interruptible(interrupt, [&] {
        o = RunOne(command.options, wanted, std::nullopt);
        o.interrupted = interrupt && StopSignal() == SIGINT;
    });
    if (o.outOfMemory)
        throw std::bad_alloc(); // MemoryError
    return ToPython(o, wanted);
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
                   bool interrupt)
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
            try {
                nlohmann::json point = nlohmann::json::object();
                for (const auto& [option, text] : sweep.pointTexts(indices[n]))
                    point[option] = text;
                outcomes[n] = RunOne(sweep.pointOptions(command.options, indices[n]), wanted, point);
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
            LaneScheduler scheduler(lanes);
            scheduler.run([&](bool) -> std::optional<LaneScheduler::Task> {
                std::size_t n = 0;
                if (StopSignal() != 0 || (n = next++) >= indices.size())
                    return std::nullopt;
                return [&, n] { runAt(n); };
            });
        };
        const std::function<void()> thread = lanes > 1 ? std::function<void()>(workInLanes)
                                                       : std::function<void()>(work);
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
    m.def("run", &Run, py::arg("arguments"), py::arg("params_text"), py::arg("wanted"), py::arg("interrupt"));
    m.def("sweep_points", &SweepPoints, py::arg("arguments"));
    m.def("run_points", &RunPoints, py::arg("arguments"), py::arg("params_text"), py::arg("wanted"),
          py::arg("indices"), py::arg("interrupt"));
    m.def("exact_text", [](double v) { return ExactText(v); });
    m.def("box_text", &BoxText, py::arg("option"), py::arg("number"));
    m.def("unknown_option", &UnknownOption);
    m.def("box_options", &BoxOptions);
}
