#include "app/desktop/end_click_guard.h"

#include <QKeyEvent>
#include <QPushButton>

namespace gravlag {

EndClickGuard::EndClickGuard(QPushButton* end)
    : QObject(end)
    , end_(end)
{
    end_->installEventFilter(this);
}

void EndClickGuard::runEnded()
{
    sinceRun_.start();
}

bool EndClickGuard::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != end_ || !sinceRun_.isValid() || sinceRun_.elapsed() >= kAfterRun.count())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseButtonRelease:
        // A press made on "Stop" during the run and released now must not click either.
        end_->setDown(false);
        return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space) {
            end_->setDown(false);
            return true;
        }
        return false;
    default:
        return false;
    }
}

} // namespace gravlag
