#include "app/batch/batch_exports.h"

#include <locale>
#include <numeric>

#include "app/files/apsis_csv.h"
#include "app/files/sample_csv.h"
#include "panel/form1.h"

namespace gravlag {

namespace {

constexpr std::int64_t kDefaultEvery = 100; // passes, as often as the display is updated

} // namespace

bool BatchExports::openCsv(Csv& csv, const std::string& path, const char* option, std::string& problem)
{
    if (path.empty())
        return true;
    csv.path = path;
    csv.option = option;
    csv.file.imbue(std::locale::classic());
    csv.file.open(path, std::ios::binary | std::ios::trunc);
    if (!csv.file) {
        problem = std::string(option) + ": cannot write " + path;
        return false;
    }
    return true;
}

bool BatchExports::open(const BatchOptions& o, std::string& problem)
{
    if (o.every && *o.every < 1) {
        problem = "--every: must be at least 1";
        return false;
    }
    every_ = o.every;
    if (!openCsv(apsis_, o.apsisCsv, "--apsis-csv", problem)
        || !openCsv(distance_, o.distanceCsv, "--distance-csv", problem)
        || !openCsv(trajectory_, o.trajectoryCsv, "--trajectory-csv", problem))
        return false;
    if (apsis_.wanted())
        apsis_.write(std::string(ApsisCsvHeader()));
    if (distance_.wanted())
        distance_.write(std::string(DistanceCsvHeader()));
    return true;
}

void BatchExports::attach(Form1& form1)
{
    if (apsis_.wanted())
        apsisRows_ = form1.onApsisEvent([this](const SimState&, const RunValues& run) {
            row_.clear();
            AppendApsisCsvRow(row_, run);
            apsis_.write(row_);
        });
    if (!distance_.wanted() && !trajectory_.wanted())
        return;
    // Asked once the run is set up: the hook runs at the common multiples of both intervals'
    // greatest common divisor, and each file takes the passes of its own interval.
    const auto interval = [this](const SimState& state, const RunValues& run) -> std::int64_t {
        lastBody_ = run.nLast;
        distanceEvery_ = every_ ? *every_
            : state.scenarioCode == Scenario::TwoBlackHoles ? run.sampleInterval
                                                            : kDefaultEvery;
        trajectoryEvery_ = every_ ? *every_ : kDefaultEvery;
        if (trajectory_.wanted())
            trajectory_.write(TrajectoryCsvHeader(lastBody_));
        if (!distance_.wanted())
            return trajectoryEvery_;
        if (!trajectory_.wanted())
            return distanceEvery_;
        return std::gcd(distanceEvery_, trajectoryEvery_);
    };
    samples_ = form1.onSample(
        interval, [this](const SimState& s, const RunValues& run) { sample(s, run.k); });
}

void BatchExports::sample(const SimState& state, std::int64_t k)
{
    if (distance_.wanted() && k % distanceEvery_ == 0) {
        row_.clear();
        AppendDistanceCsvRow(row_, state, lastBody_, k);
        distance_.write(row_);
    }
    if (trajectory_.wanted() && k % trajectoryEvery_ == 0) {
        row_.clear();
        AppendTrajectoryCsvRow(row_, state, lastBody_, k);
        trajectory_.write(row_);
    }
}

bool BatchExports::close(std::string& problem)
{
    bool ok = true;
    for (Csv* csv : {&apsis_, &distance_, &trajectory_}) {
        if (!csv->wanted())
            continue;
        csv->file.close();
        if (!csv->file && ok) {
            problem = csv->option + ": cannot write " + csv->path;
            ok = false;
        }
    }
    return ok;
}

} // namespace gravlag
