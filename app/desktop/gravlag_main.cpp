// gravlag: the desktop program.
#include <iostream>
#include <optional>
#include <string_view>

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFont>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include "app/desktop/desktop_actions.h"
#include "app/desktop/desktop_signals.h"
#include "app/desktop/end_click_guard.h"
#include "app/desktop/panel_in_front.h"
#include "app/desktop/run_message.h"
#include "app/desktop/start_up.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_window.h"

int main(int argc, char** argv)
{
    if (const std::optional<int> status = gravlag::AnswerWithoutWindows(argc, argv, std::cout))
        return *status;
    if (!gravlag::DisplayNamed(argc, argv)) {
        std::cerr << gravlag::kNoDisplayMessage << "\n";
        return 1;
    }
    std::optional<gravlag::PlatformStartGuard> starting(std::in_place);
    QApplication app(argc, argv); // takes away the arguments it knows
    starting.reset();
    if (argc > 1) {
        std::cerr << "gravlag: unknown argument " << argv[1] << " (see gravlag --help)\n";
        return 2;
    }
    app.setQuitOnLastWindowClosed(false); // the panel decides when the program ends
    // The panel's boxes and labels are laid out for a small dialog font.
    QFont font = app.font();
    font.setPointSizeF(7.5);
    app.setFont(font);
    gravlag::ui::QtServices services;
    services.onProblem(
        [](std::string_view problem) { std::cerr << "gravlag: " << problem << "\n"; });
    gravlag::Program program(services);
    gravlag::DesktopActions actions(services, program);
    QWidget* panel = services.widget("Form1");
    new gravlag::PanelInFront(panel, {services.widget("Form2"), services.widget("Form3")});
    auto* endGuard = new gravlag::EndClickGuard(panel->findChild<QPushButton*>("CommandEnd"));
    program.form1().onRunFinished([panel, endGuard](const gravlag::RunResult& result) {
        endGuard->runEnded();
        gravlag::ShowRunMessage(panel, result);
    });
    // A signal closes the panel as a person would: a run is stopped, then the program ends.
    gravlag::DesktopSignals stopSignals([panel](int) { panel->close(); });
    for (const char* display : {"Form2", "Form3"})
        services.window(display)->keepClearOf(panel);
    panel->move(0, 0); // where the arrangement puts it, so a window manager need not choose
    panel->show();
    // The arrangement depends on the panel's outer size, frame included, which a window
    // manager gives some time after the panel is shown (and none is there without one):
    // arrange the windows once it is known, or after half a second.
    QElapsedTimer waited;
    waited.start();
    while (panel->frameGeometry() == panel->geometry() && waited.elapsed() < 500)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    program.form1().Form_Load();
    // A window manager that frames the panel later still: arranged again once it has, while
    // the displays have not been shown yet.
    auto* polls = new QTimer(panel);
    QObject::connect(polls, &QTimer::timeout, [panel, polls, &program, &services, waited] {
        const bool framed = panel->frameGeometry() != panel->geometry();
        if (framed && !services.widget("Form2")->isVisible() && !services.widget("Form3")->isVisible())
            program.form1().ArrangeWindows();
        if (framed || waited.elapsed() > 5000) {
            polls->stop();
            polls->deleteLater();
        }
    });
    if (panel->frameGeometry() == panel->geometry())
        polls->start(50);
    else
        polls->deleteLater();
    const int status = app.exec();
    return stopSignals.received() != 0 ? 128 + stopSignals.received() : status;
}
