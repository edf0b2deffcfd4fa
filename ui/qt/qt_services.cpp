#include "ui/qt/qt_services.h"

#include <stdexcept>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "ui/qt/qt_window.h"
#include "ui/user_number_format.h"
#include "ui/qt/x_input_watch.h"

namespace gravlag::ui {

namespace {

double ScreenDpi()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const double dpi = screen ? screen->logicalDotsPerInch() : 0.0;
    return dpi > 0.0 ? dpi : 96.0;
}

} // namespace

QtServices::QtServices(double logicalDpi)
    : scale_{logicalDpi > 0.0 ? logicalDpi : ScreenDpi()}
    , format_(UserRegionalFormat()) // as the batch runner takes it, not from Qt's own locale data
{
    const QString platform = QGuiApplication::platformName();
    if (platform == "offscreen" || platform == "minimal") {
        inputSource_ = InputSource::PostedOnly;
    } else if (platform == "xcb") {
        inputWatch_ = XInputWatch::Start();
        inputSource_ = inputWatch_ ? InputSource::Watched : InputSource::Unknown;
    }
}

QtServices::~QtServices() = default;

Window& QtServices::createWindow(std::string_view name, std::string_view caption,
                                 int innerWidthTwips, int innerHeightTwips)
{
    if (window(name))
        throw std::invalid_argument("window already exists: " + std::string(name));
    windows_.push_back(std::make_unique<QtWindow>(*this, pacer_, std::string(name), caption,
                                                  innerWidthTwips, innerHeightTwips, scale_,
                                                  &knownFrame_));
    return *windows_.back();
}

void QtServices::processPendingEvents()
{
    if (ended_)
        return; // the program is ending: no handler may run any more
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtServices::processPendingInput()
{
    if (ended_)
        return;
    if (inputSource_ == InputSource::Unknown) {
        processPendingEvents();
        return;
    }
    const std::uint64_t input = inputWatch_ ? inputWatch_->inputCount() : 0;
    switch (handOvers_.due(HandOverPolicy::coarseNow(), input)) {
    case HandOverPolicy::Due::Nothing:
        // The posted events alone (a queued call, a test's click), once, as the full
        // hand-over runs them: those they post in turn wait for the next hand-over.
        QCoreApplication::sendPostedEvents();
        return;
    case HandOverPolicy::Due::Frame:
        pacer_.flush(); // painted by the hand-over that follows
        break;
    case HandOverPolicy::Due::Input:
        break;
    }
    processPendingEvents();
}

void QtServices::endProgram()
{
    if (ended_)
        return;
    ended_ = true;
    for (auto& w : windows_)
        w->closeForEnd();
    // Safe from inside a handler: the event loop leaves once the handlers have returned.
    QCoreApplication::exit(0);
}

RegionalFormat QtServices::regionalFormat() const
{
    return format_;
}

void QtServices::setRunning(bool running)
{
    pacer_.setPacedTexts(running);
    if (running)
        handOvers_.restart(HandOverPolicy::coarseNow(), inputWatch_ ? inputWatch_->inputCount() : 0);
    else
        pacer_.flush();
    runningChanged_(running);
}

QtWindow* QtServices::window(std::string_view name) const
{
    for (const auto& w : windows_) {
        if (w->name() == name)
            return w.get();
    }
    return nullptr;
}

QWidget* QtServices::widget(std::string_view windowName) const
{
    const QtWindow* w = window(windowName);
    return w ? w->widget() : nullptr;
}

} // namespace gravlag::ui
