// gravlag: the desktop program.
#include <iostream>
#include <string_view>

#include <QApplication>
#include <QFont>
#include <QWidget>

#include "app/desktop/desktop_actions.h"
#include "app/desktop/run_message.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
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
    program.form1().onRunFinished(
        [panel](const gravlag::RunResult& result) { gravlag::ShowRunMessage(panel, result); });
    panel->show();
    // The arrangement depends on the panel's outer size, frame included, which the window
    // system knows only once the panel is shown: arrange the windows again now.
    QCoreApplication::processEvents();
    program.form1().Form_Load();
    return app.exec();
}
