#include "ui/qt/paint_pacer.h"

#include <vector>

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace gravlag::ui {

namespace {

constexpr int kFrameMs = 16;

// A child of the application object, so it goes when the application goes.
class PaintPacer final : public QObject {
public:
    explicit PaintPacer(QObject* app)
        : QObject(app)
    {
        timer_.setSingleShot(true);
        timer_.setInterval(kFrameMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { flush(); });
    }

    void defer(QWidget* widget)
    {
        if (!widget->updatesEnabled())
            return; // already waiting for the frame (or kept from painting by its owner)
        widget->setUpdatesEnabled(false);
        waiting_.emplace_back(widget);
        if (!timer_.isActive())
            timer_.start();
    }

    void later(QObject* owner, std::function<void()> apply)
    {
        calls_.push_back({owner, std::move(apply)});
        if (!timer_.isActive())
            timer_.start();
    }

    void flush()
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

    bool pacedTexts = false;

private:
    struct Call {
        QPointer<QObject> owner;
        std::function<void()> apply;
    };
    QTimer timer_;
    std::vector<Call> calls_;
    std::vector<QPointer<QWidget>> waiting_;
};

PaintPacer* Pacer()
{
    static QPointer<PaintPacer> pacer;
    if (!pacer && QCoreApplication::instance())
        pacer = new PaintPacer(QCoreApplication::instance());
    return pacer;
}

} // namespace

void DeferPaint(QWidget* widget)
{
    PaintPacer* pacer = Pacer();
    if (widget && pacer)
        pacer->defer(widget);
}

void SetPacedTexts(bool paced)
{
    if (PaintPacer* pacer = Pacer())
        pacer->pacedTexts = paced;
}

bool PacedTexts()
{
    const PaintPacer* pacer = Pacer();
    return pacer && pacer->pacedTexts;
}

void DeferToFrame(QObject* owner, std::function<void()> apply)
{
    if (PaintPacer* pacer = Pacer())
        pacer->later(owner, std::move(apply));
    else
        apply();
}

void FlushDeferredPaints()
{
    if (PaintPacer* pacer = Pacer())
        pacer->flush();
}

} // namespace gravlag::ui
