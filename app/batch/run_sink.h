#pragma once
// What a batch run gives a caller in the same process beside its files (the Python module):
// the rows of the CSV exports as numbers, from the same row producers as the files, and the
// two displays' pictures as drawn. Called on the thread the run goes on.

#include <string_view>

#include "app/files/csv_row.h"
#include "core/physics/model.h"
#include "core/run.h"
#include "ui/headless/pixel_paper.h"

namespace gravlag {

enum class CsvExport { Apsis, Distance, Trajectory, Elements };

class RunSink {
public:
    virtual ~RunSink() = default;
    // Right after the run's set-up, before pass 0: the state the passes start from, the
    // run's values (its last pass, its "Prediction") and its model. False: the run makes no
    // pass and ends "stopped" after set-up (the start state is all that was wanted).
    virtual bool begin(const SimState& /*state*/, const RunValues& /*run*/, const Model& /*model*/)
    {
        return true;
    }
    // Whether the export's rows are wanted; they are then made as if its file were asked for.
    virtual bool wants(CsvExport which) const = 0;
    // The export's header line (with its line feed), before its first row.
    virtual void header(CsvExport which, std::string_view header) = 0;
    virtual void row(CsvExport which, const CsvRow& row) = 0;
    // Whether pictures() is wanted: both displays' papers, 0.7 MB a run, are then kept.
    virtual bool wantsPictures() const { return true; }
    // After the run (not after a refused one), the displays as drawn, handed over (their
    // windows go next); writeTo makes each the picture a file would hold.
    virtual void pictures(ui::PixelPaper&& simulation, ui::PixelPaper&& plot) = 0;
};

} // namespace gravlag
