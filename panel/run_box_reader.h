#pragma once
// The run's inputs as the panel's boxes hold them: read, tidied and written back at the
// moments the run's set-up asks for them, and turned into the numbers the core runs with.
// Every refusal names the box it comes from.

#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/run.h"

namespace gravlag {

// The panel boxes that a run reads at its start (and, for the normalised ones, writes back).
enum class PanelBox { Tpredsel, Titer, Tn_object, Tmass0, Tmass1, Tmass2, Tvxbase, Tvybase };

// Those boxes' texts, wherever they are kept.
class RunBoxes {
public:
    virtual ~RunBoxes() = default;
    virtual std::string boxText(PanelBox box) = 0;
    virtual void setBoxText(PanelBox box, std::string_view text) = 0;
};

// A box whose text the run read only in part: the panel runs with the number the text
// begins with (0 when it begins with none) and keeps quiet about the rest, so the programs
// that show the panel tell the person.
struct PartRead {
    std::string box;  // control name, "Tc"
    std::string text; // as typed, before the panel tidied it
    double value = 0; // what the run took from it
};

// Appends a PartRead unless `tidied`, the text the panel parsed, is wholly a number.
void NotePartRead(std::vector<PartRead>& reads, std::string_view box, std::string_view typed,
                  std::string_view tidied, double value);
// "c: '50,000' read as 50": the box by its label, the value in the user's number format.
std::string PartReadText(const PartRead& read, const RegionalFormat& format);

// One run's reading of the boxes.
class RunBoxReader {
public:
    // Before the events are handed over: "Prediction" as the click found it.
    void readEarly(RunBoxes& boxes)
    {
        predMode = boxes.boxText(PanelBox::Tpredsel);
        partReads.clear();
    }
    // After: the rest, in the user's number format; the state gives c and dt for the checks.
    std::variant<RunInputs, std::string> read(RunBoxes& boxes, const RegionalFormat& format,
                                              const SimState& state, const Model& model);

    std::string predMode; // text of "Prediction"
    std::string iterEnd;  // text of "Iteration"
    std::vector<PartRead> partReads; // the boxes of this run read in part, as read
};

// Why the bodies cannot be placed, in the panel's words.
std::string PlacementRefusalText(const PlacementProblem& problem);

} // namespace gravlag
