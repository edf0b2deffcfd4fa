#include "app/desktop/box_help.h"

#include <string>

#include <QHelpEvent>
#include <QTextDocument>
#include <QLineEdit>
#include <QToolTip>
#include <QWidget>

#include "panel/panel_inputs.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"

namespace gravlag {

namespace {

constexpr const char* kUnits = "Units: any of length, time and mass in which G = 1.";

QString Mass(int number)
{
    return QString("Mass of body %1, in mass units. %2").arg(number).arg(kUnits);
}

} // namespace

QString BoxHelp(std::string_view box, Scenario scenario)
{
    const bool mercury = scenario == Scenario::Mercury;
    if (box == "Tn_object")
        return "The number of bodies, 2 or 3; a click switches.";
    if (box == "Tmass(0)")
        return Mass(1);
    if (box == "Tmass(1)")
        return Mass(2);
    if (box == "Tmass(2)")
        return Mass(3);
    if (box == "Dx1")
        return mercury ? QString("In \"Mercury\": the distance of Mass 2 from Mass 1 at the start, in length "
                                 "units. Mass 2 starts at the far end of its orbit with 0.6 times the "
                                 "circular speed, so the orbit's eccentricity is 0.64.")
                       : QString("In \"2 BH's\": half the separation of Mass 1 and Mass 2 at the start, in "
                                 "length units. The pair starts on a circular orbit about its centre of "
                                 "mass.");
    if (box == "Dx2")
        return "The distance of Mass 3 from the centre of mass of Mass 1 and Mass 2 at the start, in "
               "length units. Mass 3 starts on a circular orbit about the pair, as if the pair were "
               "one body.";
    if (box == "Tvxbase" || box == "Tvybase")
        return QString("A velocity %1 added to every body at the start, in length units per time unit.")
            .arg(box == "Tvxbase" ? "along x" : "along y");
    if (box == "Tmethode")
        return "The scenario, \"2 BH's\" or \"Mercury\"; a click switches and sets the masses, "
               "\"r  m(2)\" and \"Iteration\" of the other.";
    if (box == "Titer")
        return "The last pass: a run makes passes 0 to Iteration, each a step of dt.";
    if (box == "Titer1")
        return "The pass the run has reached, shown every 100 passes.";
    if (box == "Tdt")
        return "The time step, in time units; 0 means 0.001.";
    if (box == "Tc")
        return "The speed at which the pull travels, in length units per time unit; 0: the pull is "
               "instantaneous. A click on 0 sets 50000.";
    if (box == "Tpredsel")
        return "Where a run takes a body to have been a delay ago: 0, back along its present "
               "velocity; 1, among its positions of the last 20 steps. A click switches.";
    if (box == "Tti1j0" || box == "Tti2j0")
        return QString("The delay of the pull of Mass 1 on Mass %1, in whole steps of dt: the "
                       "signal-travel time over dt, rounded down, so 0 while it is shorter than "
                       "a step.")
            .arg(box == "Tti1j0" ? 2 : 3);
    return {};
}

BoxToolTips::BoxToolTips(ui::QtServices& services, Program& program)
    : QObject(services.widget("Form1")), services_(services), program_(program)
{
    QWidget* panel = services_.widget("Form1");
    for (const PanelInput& input : PanelBoxes())
        if (auto* edit = panel->findChild<QLineEdit*>(input.box))
            edit->installEventFilter(this);
}

QString BoxToolTips::toolTip(std::string_view box) const
{
    QString tip = BoxHelp(box, program_.state().scenarioCode);
    if (const auto* edit = services_.widget("Form1")->findChild<QLineEdit*>(QString::fromUtf8(box.data(), static_cast<qsizetype>(box.size())));
        edit && !edit->toolTip().isEmpty())
        tip += "\n\nIts text: " + edit->toolTip(); // a text longer than the box
    for (const PartRead& read : program_.form1().partReads())
        if (read.box == box)
            tip += "\n\nThe latest run read this box only in part: "
                + QString::fromStdString(PartReadText(read, services_.regionalFormat()));
    return tip;
}

bool BoxToolTips::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::ToolTip)
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // As rich text, which a tooltip wraps to a readable width.
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(),
                       Qt::convertFromPlainText(toolTip(widget->objectName().toStdString())), widget);
    return true;
}

} // namespace gravlag
