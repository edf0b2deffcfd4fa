#include "ui/qt/paint_pacer.h"

#include <QWidget>

namespace gravlag::ui {

PaintPacer::PaintPacer()
{
    timer_.setSingleShot(true);
    timer_.setInterval(kFrameMs);
    QObject::connect(&timer_, &QTimer::timeout, this, [this] { flush(); });
}

void PaintPacer::deferPaint(QWidget* widget)
{
    if (!widget || !widget->updatesEnabled())
        return; // already waiting for the frame (or kept from painting by its owner)
    widget->setUpdatesEnabled(false);
    waiting_.emplace_back(widget);
    if (!timer_.isActive())
        timer_.start();
}

void PaintPacer::deferToFrame(QObject* owner, std::function<void()> apply)
{
    calls_.push_back({owner, std::move(apply)});
    if (!timer_.isActive())
        timer_.start();
}

void PaintPacer::flush()
{
    timer_.stop();
    std::vector<Call> calls;
    calls.swap(calls_);
    for (const Call& call : calls)
        if (call.owner)
            call.apply();
    std::vector<QPointer<QWidget>> due;
    due.swap(waiting_);
    for (const QPointer<QWidget>& w : due)
        if (w)
            w->setUpdatesEnabled(true); // repaints the whole widget once
}

} // namespace gravlag::ui
