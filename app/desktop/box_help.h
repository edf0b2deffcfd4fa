#pragma once
// The tooltips of the boxes of "Control Display": what each box means, with its units (G = 1)
// and, for "r  m(2)" and "r  m(3)", what they mean in the scenario chosen; and, for a box the
// latest run read only in part, how it was read ("c: '50,000' read as 50"). The panel keeps
// reading boxes as it always has: these only tell. Made when asked, so a run pays nothing.

#include <string_view>

#include <QObject>
#include <QString>

#include "core/sim_state.h"

namespace gravlag {

class Program;
namespace ui {
class QtServices;
}

// What the box named `box` (its control name) means; empty for a name that is none of the
// panel's boxes.
QString BoxHelp(std::string_view box, Scenario scenario);

class BoxToolTips final : public QObject {
public:
    BoxToolTips(ui::QtServices& services, Program& program);
    // What hovering over the box shows now.
    QString toolTip(std::string_view box) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ui::QtServices& services_;
    Program& program_;
};

} // namespace gravlag
