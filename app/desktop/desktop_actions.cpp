#include "app/desktop/desktop_actions.h"

#include <fstream>

#include <QAction>
#include <QFileDialog>
#include <QImageWriter>
#include <QMenu>
#include <QMessageBox>
#include <QWidget>

#include "app/files/apsis_csv.h"
#include "app/files/param_file.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_window.h"

namespace gravlag {

DesktopActions::DesktopActions(ui::QtServices& services, Program& program)
    : services_(services), program_(program)
{
    askFile = [](QWidget* parent, const QString& title, const QString& filter, bool save) {
        return save ? QFileDialog::getSaveFileName(parent, title, QString(), filter)
                    : QFileDialog::getOpenFileName(parent, title, QString(), filter);
    };
    tell = [](QWidget* parent, const QString& message) {
        QMessageBox::warning(parent, "gravlag", message);
    };

    QWidget* panel = services_.widget("Form1");
    QAction* save = addAction(panel, "saveParameters", "Save parameters…");
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] { saveParameters(); });
    QAction* load = addAction(panel, "loadParameters", "Load parameters…");
    load->setShortcut(QKeySequence::Open);
    connect(load, &QAction::triggered, this, [this] { loadParameters(); });

    for (const char* name : {"Form2", "Form3"}) {
        QWidget* display = services_.widget(name);
        const std::string windowName = name;
        QAction* image = addAction(display, "saveImage", "Save image…");
        connect(image, &QAction::triggered, this, [this, windowName] { saveImage(windowName); });
        display->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(display, &QWidget::customContextMenuRequested, this,
                [this, display, image, windowName](const QPoint& at) {
                    QMenu menu(display);
                    menu.addAction(image);
                    if (windowName == "Form3" && program_.state().scenarioCode == Scenario::Mercury)
                        menu.addAction(saveApsis_);
                    menu.exec(display->mapToGlobal(at));
                });
    }
    saveApsis_ = addAction(services_.widget("Form3"), "saveApsisEvents", "Save apsis events…");
    connect(saveApsis_, &QAction::triggered, this, [this] { saveApsisEvents(); });

    // The rows of the latest run: its first event starts them afresh.
    apsisEvents_ = program_.form1().onApsisEvent([this](const SimState&, const RunValues& run) {
        if (run.apsisCount == 1)
            apsisRows_.clear();
        AppendApsisCsvRow(apsisRows_, run);
    });
}

QAction* DesktopActions::addAction(QWidget* widget, const char* name, const QString& text)
{
    auto* action = new QAction(text, widget);
    action->setObjectName(name);
    widget->addAction(action); // its shortcut works while the window is active
    return action;
}

void DesktopActions::saveParameters()
{
    QWidget* panel = services_.widget("Form1");
    const QString path = askFile(panel, "Save parameters", "Parameter files (*.json)", true);
    if (path.isEmpty())
        return;
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << ParamFileText(CollectParamFile(program_.form1()));
    if (!out.flush())
        tell(panel, "Cannot write " + path);
}

void DesktopActions::loadParameters()
{
    QWidget* panel = services_.widget("Form1");
    if (program_.form1().running()) {
        tell(panel, "Parameters can be loaded when no run is going on.");
        return;
    }
    const QString path = askFile(panel, "Load parameters", "Parameter files (*.json)", false);
    if (path.isEmpty())
        return;
    std::string problem;
    const std::optional<ParamFile> file = LoadParamFile(path.toStdString(), problem);
    if (!file) {
        tell(panel, QString::fromStdString(problem));
        return;
    }
    ApplyParamFile(*file, program_.form1());
}

void DesktopActions::saveImage(const std::string& windowName)
{
    ui::QtWindow* window = services_.window(windowName);
    QWidget* widget = window->widget();
    const QString path = askFile(widget, "Save image", "PNG images (*.png)", true);
    if (path.isEmpty())
        return;
    // The picture as drawn, one image pixel per drawing pixel.
    QImageWriter writer(path, "png");
    if (!writer.write(window->surfaceImage()))
        tell(widget, "Cannot write " + path + ": " + writer.errorString());
}

void DesktopActions::saveApsisEvents()
{
    QWidget* widget = services_.widget("Form3");
    const QString path = askFile(widget, "Save apsis events", "CSV files (*.csv)", true);
    if (path.isEmpty())
        return;
    std::ofstream out(path.toStdString(), std::ios::binary);
    out << ApsisCsvHeader() << apsisRows_;
    if (!out.flush())
        tell(widget, "Cannot write " + path);
}

} // namespace gravlag
