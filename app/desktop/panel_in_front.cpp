#include "app/desktop/panel_in_front.h"

#include <QEvent>
#include <QWidget>

namespace gravlag {

PanelInFront::PanelInFront(QWidget* panel, std::initializer_list<QWidget*> displays)
    : QObject(panel)
    , panel_(panel)
{
    for (QWidget* display : displays)
        display->installEventFilter(this);
}

bool PanelInFront::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show && watched != panel_)
        panel_->raise();
    return false;
}

} // namespace gravlag
