#include "app/batch/batch_exports.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "app/batch/batch_outputs.h"
#include "app/files/apsis_csv.h"
#include "app/files/exact_text.h"
#include "app/files/sample_csv.h"
#include "panel/form1.h"

namespace gravlag {

namespace {

constexpr std::int64_t kDefaultEvery = 100; // passes, as often as the display is updated

} // namespace

bool BatchExports::openCsv(Csv& csv, const BatchOptions& o, std::string BatchOptions::*file, std::string& problem)
{
    const std::string& path = o.*file;
    const char* const option = OptionOf(file);
    csv.option = option;
    csv.toSink = sink_ && sink_->wants(csv.which);
    csv.toFile = !path.empty();
    csv.wanted = csv.toFile || csv.toSink;
    if (csv.toFile && !csv.file.open(path)) {
        problem = std::string(option) + ": " + csv.file.error();
        return false;
    }
    return true;
}

bool BatchExports::open(const BatchOptions& o, std::string& problem)
{
    if (o.every && *o.every < 1) {
        problem = "--every must be a whole number from 1 to 10^18";
        return false;
    }
    every_ = o.every;
    sink_ = o.sink;
    apsis_.which = CsvExport::Apsis;
    distance_.which = CsvExport::Distance;
    trajectory_.which = CsvExport::Trajectory;
    elements_.which = CsvExport::Elements;
    if (!openCsv(apsis_, o, &BatchOptions::apsisCsv, problem) || !openCsv(distance_, o, &BatchOptions::distanceCsv, problem)
        || !openCsv(trajectory_, o, &BatchOptions::trajectoryCsv, problem)
        || !openCsv(elements_, o, &BatchOptions::elementsCsv, problem)) {
        discard();
        return false;
    }
    header(apsis_, ApsisCsvHeader());
    header(distance_, DistanceCsvHeader());
    header(elements_, ElementsCsvHeader());
    return true;
}

void BatchExports::header(Csv& csv, std::string_view text)
{
    if (csv.toFile)
        csv.file.write(text);
    if (csv.toSink)
        sink_->header(csv.which, text);
}

void BatchExports::put(Csv& csv, const CsvRow& row)
{
    if (csv.toFile) {
        row_.clear();
        AppendCsvRow(row_, row);
        csv.file.write(row_);
    }
    if (csv.toSink)
        sink_->row(csv.which, row);
}

void BatchExports::attach(Form1& form1)
{
    if (apsis_.wanted)
        apsisRows_ = form1.onApsisEvent(
            [this](const SimState&, const RunValues& run) { put(apsis_, ApsisCsvRow(run)); });
    if (!distance_.wanted && !trajectory_.wanted && !elements_.wanted)
        return;
    // Asked once the run is set up: the hook runs at the greatest common divisor of the
    // files' intervals, and each file takes the passes of its own.
    const auto interval = [this, &form1](const SimState& state, const RunValues& run) -> std::int64_t {
        // The t column holds k*dt; the largest |k*dt| is that of the last pass, so if that
        // is finite, every row's is. Otherwise the run is stopped before its first pass.
        const double lastTime = std::floor(std::max(run.iterEndValue, 0.0)) * state.dt;
        if (!std::isfinite(lastTime)) {
            const Csv& timed = distance_.wanted ? distance_ : trajectory_.wanted ? trajectory_ : elements_;
            const double last = std::floor(run.iterEndValue);
            refusal_ = std::string(timed.option) + ": the time column would not be finite: the last pass "
                + (last < 9e18 ? std::to_string(static_cast<std::int64_t>(last)) : ExactText(last))
                + " times dt " + ExactText(state.dt) + " is beyond the largest double";
            form1.CommandEnd_Click(); // "Stop": the loop ends before pass 0
            return 0;
        }
        lastBody_ = run.nLast;
        distanceEvery_ = every_ ? *every_ : state.scenarioCode == Scenario::TwoBlackHoles ? run.sampleInterval
                                                            : kDefaultEvery;
        trajectoryEvery_ = every_ ? *every_ : kDefaultEvery;
        elementsEvery_ = trajectoryEvery_;
        if (trajectory_.wanted)
            header(trajectory_, TrajectoryCsvHeader(lastBody_));
        std::int64_t every = 0;
        for (const auto& [csv, n] : {std::pair{&distance_, distanceEvery_}, {&trajectory_, trajectoryEvery_},
                                     {&elements_, elementsEvery_}})
            if (csv->wanted)
                every = std::gcd(every, n);
        return every;
    };
    samples_ = form1.onSample(
        interval, [this](const SimState& s, const RunValues& run) { sample(s, run.k); });
}

void BatchExports::sample(const SimState& state, std::int64_t k)
{
    if (distance_.wanted && k % distanceEvery_ == 0)
        put(distance_, DistanceCsvRow(state, lastBody_, k));
    if (trajectory_.wanted && k % trajectoryEvery_ == 0)
        put(trajectory_, TrajectoryCsvRow(state, lastBody_, k));
    if (elements_.wanted && k % elementsEvery_ == 0)
        put(elements_, ElementsCsvRow(state, lastBody_, k));
}

void BatchExports::commit(std::vector<std::string>& errors)
{
    for (Csv* csv : {&apsis_, &distance_, &trajectory_, &elements_})
        if (csv->toFile && !csv->file.commit())
            errors.push_back(std::string(csv->option) + ": " + csv->file.error());
}

void BatchExports::discard()
{
    for (Csv* csv : {&apsis_, &distance_, &trajectory_, &elements_})
        csv->file.discard();
}

} // namespace gravlag
