#include "displays/time_evolution_display.h"

#include <cmath>
#include <initializer_list>

#include "displays/palette.h"

namespace gravlag {

namespace {
constexpr double kReferenceAngle = 45;      // degrees: the centre line of the apsis plot
constexpr double kAngleScale = 3000;        // pixels per degree
constexpr double kDistanceScale = 100;      // pixels per length unit
constexpr double kFitTextScale = 1000000;   // a and b are shown floored to six decimals

double FlooredToSixDecimals(double v)
{
    const double scaled = std::floor(v * kFitTextScale) / kFitTextScale;
    return std::isfinite(scaled) ? scaled : v;
}
} // namespace

TimeEvolutionDisplay::TimeEvolutionDisplay(ui::WindowServices& services)
    : services_(services),
      form3_(services.createWindow("Form3", "Time Evolution Display", 12000, 3090)),
      CommandCls(form3_.addButton({"CommandCls", "Clear", 120, 120, 615, 255, 0})),
      Tcolor(form3_.addTextBox({"Tcolor", "Text1", 840, 2640, 735, 285, 1})),
      TPred(form3_.addTextBox({"TPred", "Text1", 5520, 2640, 900, 285, 2})),
      Ta(form3_.addTextBox({"Ta", "Text1", 2400, 2640, 900, 285, 3})),
      Tb(form3_.addTextBox({"Tb", "Text1", 3720, 2640, 900, 285, 4})),
      La(form3_.addLabel({"La", "a", 2160, 2640, 375, 255, 5})),
      Lb(form3_.addLabel({"Lb", "b", 3480, 2640, 495, 255, 6})),
      Lpred(form3_.addLabel({"Lpred", "prediction", 4800, 2640, 495, 255, 7})),
      Lcolor(form3_.addLabel({"Lcolor", "color", 240, 2640, 375, 255, 8}))
{
    CommandCls.onClick([this] { CommandCls_Click(); });
    Tcolor.onClick([this] { Tcolor_Click(); });
}

TimeEvolutionDisplay::~TimeEvolutionDisplay()
{
    // The window and its controls belong to the services, which outlive this display.
    CommandCls.onClick({});
    Tcolor.onClick({});
}

void TimeEvolutionDisplay::layout(Scenario scenario)
{
    const bool mercury = scenario == Scenario::Mercury;
    form3_.setOuterWidth(mercury ? 6000 : 12000);
    form3_.setOuterHeight(mercury ? 6000 : 3600);
    const int row = mercury ? 320 : 180;
    Tcolor.setTop(row);
    Lcolor.setTop(row);
    TPred.setTop(342);
    Lpred.setTop(342);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Ta, &Tb, &La, &Lb})
        c->setTop(row);
    for (ui::Control* c : std::initializer_list<ui::Control*>{&Ta, &Tb, &TPred, &Lpred, &La, &Lb})
        c->setVisible(mercury);
    if (mercury) {
        Lpred.setLeft(120);
        TPred.setLeft(Ta.left());
    }
}

void TimeEvolutionDisplay::apsisEvent(const SimState&, const RunValues& run)
{
    const ApsisFit& fit = *run.fit;
    const double centre = run.plotHeight / 2;
    const double x = 2 * static_cast<double>(fit.fitX);
    const double measured = centre - (*run.apsisAngle - kReferenceAngle) * kAngleScale;
    const double fitted = centre - (fit.predAngle - kReferenceAngle) * kAngleScale;
    form3_.setPixel(PixelCoordinate(x + 1), PixelCoordinate(measured), QBColor(0));
    form3_.setPixel(PixelCoordinate(x + 2), PixelCoordinate(measured), QBColor(0));
    form3_.setPixel(PixelCoordinate(x + 1), PixelCoordinate(fitted), QBColor(colorIndex_));
    form3_.setPixel(PixelCoordinate(x + 2), PixelCoordinate(fitted), QBColor(colorIndex_));
    const RegionalFormat format = services_.regionalFormat();
    TPred.setText(FormatRegional(fit.predAngle, format));
    Ta.setText(FormatRegional(FlooredToSixDecimals(fit.fitA), format));
    Tb.setText(FormatRegional(FlooredToSixDecimals(fit.fitB), format));
}

void TimeEvolutionDisplay::timePlot(const SimState& s, const RunValues& run)
{
    const double mx = (s.x[0] + s.x[1]) / 2, my = (s.y[0] + s.y[1]) / 2;
    // A run of one pass ("Iteration" 0) has nothing to spread over the width: column 1.
    const double px = run.iterEndValue != 0
        ? (static_cast<double>(run.k) * plotWidth_) / run.iterEndValue + 1
        : 1.0;
    const double centre = run.plotHeight / 2;
    const auto distance = [&](int b) {
        const double ex = s.x[static_cast<unsigned>(b)] - mx, ey = s.y[static_cast<unsigned>(b)] - my;
        return std::sqrt(ex * ex + ey * ey);
    };
    if (run.nLast != 1) {
        const double r2 = distance(2);
        form3_.setPixel(PixelCoordinate(px),
                        PixelCoordinate(centre + (r2 - s.dx2) * kDistanceScale),
                        QBColor(colorIndex_));
    }
    const double r1 = distance(1);
    form3_.setPixel(PixelCoordinate(px),
                    PixelCoordinate(centre - (r1 - run.startRadius) * kDistanceScale),
                    QBColor(colorIndex_));
}

void TimeEvolutionDisplay::Tcolor_Click()
{
    colorIndex_ = colorIndex_ + 1;
    if (colorIndex_ > 15)
        colorIndex_ = 0;
    refreshSwatch();
}

void TimeEvolutionDisplay::refreshSwatch()
{
    const int n = colorIndex_;
    Tcolor.setTextColor(QBColor(n < 7 || n == 9 ? 15 : 0));
    Tcolor.setText(RegionalNumberText(static_cast<long long>(n)));
    Tcolor.setBackgroundColor(QBColor(n));
}

void TimeEvolutionDisplay::CommandCls_Click() { form3_.erase(); }

} // namespace gravlag
