#include "panel/run_box_reader.h"

#include <optional>

namespace gravlag {

namespace {

double ReadNormalised(RunBoxes& boxes, PanelBox box)
{
    const std::string text = NormalizeDecimalText(boxes.boxText(box));
    boxes.setBoxText(box, text);
    return ParseLeadingNumber(boxes.boxText(box));
}

} // namespace

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
    for (int i = 0; i <= in.nLast; ++i)
        in.mass[static_cast<unsigned>(i)] = ReadNormalised(boxes, kMassBox[i]);
    in.vxBase = ReadNormalised(boxes, PanelBox::Tvxbase);
    in.vyBase = ReadNormalised(boxes, PanelBox::Tvybase);
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
