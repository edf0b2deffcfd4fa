#include "panel/run_box_reader.h"

#include <optional>

#include "panel/panel_inputs.h"

namespace gravlag {

namespace {

double ReadNormalised(RunBoxes& boxes, PanelBox box, const char* name,
                      std::vector<PartRead>& partReads)
{
    const std::string typed = boxes.boxText(box);
    boxes.setBoxText(box, NormalizeDecimalText(typed));
    const std::string tidied = boxes.boxText(box);
    const double value = ParseLeadingNumber(tidied);
    NotePartRead(partReads, name, typed, tidied, value);
    return value;
}

} // namespace

void NotePartRead(std::vector<PartRead>& reads, std::string_view box, std::string_view typed,
                  std::string_view tidied, double value)
{
    if (!ReadsWhole(tidied))
        reads.push_back({std::string(box), std::string(typed), value});
}

std::string PartReadText(const PartRead& read, const RegionalFormat& format)
{
    const PanelInput* input = FindPanelBox(read.box);
    return std::string(input ? input->label : read.box.c_str()) + ": '" + read.text
        + "' read as " + RegionalNumberText(read.value, format);
}

std::variant<RunInputs, std::string> RunBoxReader::read(RunBoxes& boxes,
                                                        const RegionalFormat& format,
                                                        const SimState& state, const Model& model)
{
    iterEnd = boxes.boxText(PanelBox::Titer);
    const std::optional<double> iterEndValue = RegionalNumberValue(iterEnd, format);
    if (!iterEndValue)
        return "\"Iteration\" is not a number: \"" + iterEnd + "\"";
    const std::string nText = boxes.boxText(PanelBox::Tn_object);
    const std::optional<double> nObject = RegionalNumberValue(nText, format);
    if (!nObject)
        return "\"n object\" is not a number: \"" + nText + "\"";
    if (!(*nObject >= 1 && *nObject < 4))
        return "\"n object\" must be 1 to 3 bodies, not " + nText;
    const std::optional<double> pred = RegionalNumberValue(predMode, format);
    if (!pred)
        return "\"Prediction\" is not a number: \"" + predMode + "\"";

    RunInputs in;
    in.model = model;
    in.method =
        *pred == 1 ? RetardationMethod::HistoryLookup : RetardationMethod::VelocityEstimate;
    if (in.method == RetardationMethod::HistoryLookup && state.c > 0 && !(state.dt > 0))
        return "\"dt\" must be positive for \"Prediction\" 1 with c > 0: the history holds only "
               "the past";
    in.iterEndValue = *iterEndValue;
    // Bodies 0 up to the number minus 1; a fraction counts as its whole part.
    in.nLast = static_cast<int>(*nObject) - 1;
    static constexpr PanelBox kMassBox[kBodies] = {PanelBox::Tmass0, PanelBox::Tmass1,
                                                  PanelBox::Tmass2};
    static constexpr const char* kMassName[kBodies] = {"Tmass(0)", "Tmass(1)", "Tmass(2)"};
    for (int i = 0; i <= in.nLast; ++i)
        in.mass[static_cast<unsigned>(i)] = ReadNormalised(boxes, kMassBox[i], kMassName[i], partReads);
    in.vxBase = ReadNormalised(boxes, PanelBox::Tvxbase, "Tvxbase", partReads);
    in.vyBase = ReadNormalised(boxes, PanelBox::Tvybase, "Tvybase", partReads);
    return in;
}

std::string PlacementRefusalText(const PlacementProblem& problem)
{
    const char* masses = problem.outerPair ? "the three masses" : "\"Mass 1\" and \"Mass 2\"";
    const char* separation = problem.outerPair ? "\"r  m(3)\"" : "\"r  m(2)\"";
    std::string why;
    switch (problem.kind) {
    case PlacementProblem::MassesSumZero:
        why = std::string(masses) + " sum to 0, so the pair has no centre of mass";
        break;
    case PlacementProblem::SeparationZero:
        why = std::string(separation) + " is 0, so the pair has no separation";
        break;
    case PlacementProblem::NegativeSquare:
        why = std::string("the masses and ") + separation
            + " give an orbital speed with a negative square";
        break;
    case PlacementProblem::Overflow:
        why = "overflow in the initial positions or velocities";
        break;
    }
    return "Cannot place the bodies: " + why;
}

} // namespace gravlag
