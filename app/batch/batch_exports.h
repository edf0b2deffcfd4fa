#pragma once
// The CSV files of a batch run, streamed while it runs: apsis events, distances, trajectory,
// elements.
// The rows come from app/files/ (what a row holds); this class decides which passes give a
// row and sends each to its OutputFile, which commits it only complete.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/batch/batch_options.h"
#include "app/batch/run_sink.h"
#include "app/files/output_file.h"
#include "ui/subscription.h"

namespace gravlag {

class Form1;
struct SimState;

class BatchExports {
public:
    // Creates every file asked for (as a temporary); false with a one-line problem if one
    // cannot be created.
    bool open(const BatchOptions& options, std::string& problem);
    // Subscribes to the panel's run hooks for the files opened, until this goes. A run whose
    // time column would not be finite is stopped before its first pass: refusal().
    void attach(Form1& form1);
    const std::string& refusal() const { return refusal_; }
    // Each file complete up to the run's last pass replaces its target; one message per file
    // that could not be written ("--distance-csv: cannot write d.csv: ...") is appended.
    void commit(std::vector<std::string>& errors);
    void discard(); // every target left as it was

private:
    struct Csv {
        OutputFile file;
        const char* option = "";
        CsvExport which = CsvExport::Apsis;
        bool toFile = false;
        bool toSink = false;
        bool wanted = false; // to the file, the sink or both
    };
    bool openCsv(Csv& csv, const BatchOptions& o, std::string BatchOptions::*file, std::string& problem);
    void header(Csv& csv, std::string_view text);
    void put(Csv& csv, const CsvRow& row);
    void sample(const SimState& state, std::int64_t k);

    Csv apsis_, distance_, trajectory_, elements_;
    std::optional<std::int64_t> every_;
    RunSink* sink_ = nullptr;
    // Passes between rows; set when the run starts.
    std::int64_t distanceEvery_ = 0, trajectoryEvery_ = 0, elementsEvery_ = 0;
    int lastBody_ = 0;
    std::string row_; // reused for every row
    std::string refusal_;
    ui::ScopedSubscription apsisRows_, samples_;
};

} // namespace gravlag
