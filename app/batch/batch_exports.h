#pragma once
// The CSV files of a batch run, streamed while it runs: apsis events, distances, trajectory.

#include <cstdint>
#include <fstream>
#include <optional>
#include <string>

#include "app/batch/batch_options.h"
#include "ui/subscription.h"

namespace gravlag {

class Form1;
struct SimState;

class BatchExports {
public:
    // Opens every file asked for; false with a one-line problem if one cannot be opened.
    bool open(const BatchOptions& options, std::string& problem);
    // Subscribes to the panel's run hooks for the files opened, until this goes.
    void attach(Form1& form1);
    // Flushes and closes; false with a one-line problem if a write failed.
    bool close(std::string& problem);

private:
    struct Csv {
        std::ofstream file;
        std::string path, option;
        bool wanted() const { return !path.empty(); }
        void write(const std::string& rows) { file.write(rows.data(), static_cast<std::streamsize>(rows.size())); }
    };
    bool openCsv(Csv& csv, const std::string& path, const char* option, std::string& problem);
    void sample(const SimState& state, std::int64_t k);

    Csv apsis_, distance_, trajectory_;
    std::optional<std::int64_t> every_;
    std::int64_t distanceEvery_ = 0, trajectoryEvery_ = 0; // passes; set when the run starts
    int lastBody_ = 0;
    std::string row_; // reused for every row
    ui::ScopedSubscription apsisRows_, samples_;
};

} // namespace gravlag
