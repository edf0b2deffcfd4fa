#include "app/desktop/desktop_actions.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QFile>
#include <QFileDialog>
#include <QGuiApplication>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QWidget>

#include "app/files/apsis_csv.h"
#include "app/files/output_file.h"
#include "app/files/param_file.h"
#include "app/files/png_writer.h"
#include "app/files/report_json.h"
#include "app/files/report_text.h"
#include "app/desktop/box_help.h"
#include "app/desktop/model_dialog.h"
#include "app/desktop/run_charts.h"
#include "app/desktop/run_report_window.h"
#include "panel/program.h"
#include "ui/qt/qt_services.h"
#include "ui/qt/qt_window.h"
#include "ui/qt/screen_fit.h"

namespace gravlag {

namespace {

// The name as the file system spells it (a dialog's QString holds it decoded).
std::string FileSystemName(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A window's backing image as the toolkit-free surface the PNG writer takes, so the desktop
// program writes the same bytes as the batch runner for the same picture.
ui::Surface SurfaceOf(const QImage& image)
{
    ui::Surface surface{image.width(), image.height(), {}};
    surface.pixels.reserve(static_cast<std::size_t>(image.width()) * static_cast<std::size_t>(image.height()));
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            surface.pixels.push_back({static_cast<std::uint8_t>(qRed(c)), static_cast<std::uint8_t>(qGreen(c)),
                                      static_cast<std::uint8_t>(qBlue(c))});
        }
    return surface;
}

} // namespace

DesktopActions::DesktopActions(ui::QtServices& services, Program& program)
    : services_(services), program_(program), reporter_(program.form1()), series_(program.form1())
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

    // The panel's own context menu: its boxes keep theirs (cut, copy, paste).
    panelCaption_ = QString::fromStdString(services_.window("Form1")->caption());
    auto* model = new QAction("Model…", panel);
    model->setObjectName("chooseModel");
    connect(model, &QAction::triggered, this, [this] { chooseModel(); });
    panel->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(panel, &QWidget::customContextMenuRequested, this, [panel, model, save, load](const QPoint& at) {
        auto* menu = new QMenu(panel);
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->addAction(model);
        menu->addSeparator();
        menu->addAction(save);
        menu->addAction(load);
        menu->popup(panel->mapToGlobal(at)); // as on the displays: a run goes on meanwhile
    });
    boxToolTips_ = new BoxToolTips(services_, program_);

    saveApsis_ = addAction(services_.widget("Form3"), "saveApsisEvents", "Save apsis events…");
    connect(saveApsis_, &QAction::triggered, this, [this] { saveApsisEvents(); });
    // Showing the report holds nothing, so it stays open to a run.
    showReport_ = new QAction("Run report…", services_.widget("Form3"));
    showReport_->setObjectName("showRunReport");
    services_.widget("Form3")->addAction(showReport_);
    connect(showReport_, &QAction::triggered, this, [this] { showRunReport(); });
    reporter_.onFinished = [this](const std::optional<RunReport>&) { refreshRunReport(); };
    for (const char* name : {"Form2", "Form3"}) {
        QWidget* display = services_.widget(name);
        const std::string windowName = name;
        QAction* image = addAction(display, "saveImage", "Save image…");
        connect(image, &QAction::triggered, this, [this, windowName] { saveImage(windowName); });
        display->setContextMenuPolicy(Qt::CustomContextMenu);
        // popup(), not exec(): a menu opened during a run must not hold the run while it is open.
        connect(display, &QWidget::customContextMenuRequested, this,
                [this, display, image, windowName](const QPoint& at) {
                    auto* menu = new QMenu(display);
                    menu->setAttribute(Qt::WA_DeleteOnClose);
                    menu->addAction(image);
                    if (windowName == "Form3") {
                        menu->addAction(showReport_);
                        if (program_.state().scenarioCode == Scenario::Mercury)
                            menu->addAction(saveApsis_);
                    }
                    menu->popup(display->mapToGlobal(at));
                });
    }

    // The entries wait while a run goes on; a run starts the apsis rows afresh, so a run
    // without events leaves none.
    runningChanged_ = services_.onRunningChanged([this](bool running) {
        for (QAction* a : fileActions_)
            a->setEnabled(!running);
        if (running)
            apsisRows_.clear();
        if (reportWindow_)
            reportWindow_->setSaveEnabled(!running && reporter_.latest().has_value());
    });
    apsisEvents_ = program_.form1().onApsisEvent(
        [this](const SimState&, const RunValues& run) { AppendApsisCsvRow(apsisRows_, run); });
}

DesktopActions::~DesktopActions() = default;

QAction* DesktopActions::addAction(QWidget* widget, const char* name, const QString& text)
{
    auto* action = new QAction(text, widget);
    action->setObjectName(name);
    widget->addAction(action); // its shortcut works while the window is active
    fileActions_.push_back(action);
    return action;
}

bool DesktopActions::running() const { return program_.form1().running(); }

void DesktopActions::save(QWidget* parent, const QString& title, const QString& filter, const std::string& bytes)
{
    const QString path = askFile(parent, title, filter, true);
    if (path.isEmpty())
        return;
    OutputFile file;
    if (file.open(FileSystemName(path))) {
        file.write(bytes);
        if (file.commit())
            return;
    }
    tell(parent, "Nothing was saved: " + QString::fromStdString(file.error()));
}

void DesktopActions::saveParameters()
{
    if (running())
        return;
    save(services_.widget("Form1"), "Save parameters", "Parameter files (*.json)",
         ParamFileText(CollectParamFile(program_.form1())));
}

void DesktopActions::loadParameters()
{
    if (running())
        return;
    QWidget* panel = services_.widget("Form1");
    const QString path = askFile(panel, "Load parameters", "Parameter files (*.json)", false);
    if (path.isEmpty())
        return;
    // Only a regular file of at most 1 MiB is read, and a FIFO or a device is refused
    // without being opened for long: the window never waits on a file.
    // The panel's own reading: a file saved here holds what a person typed into the boxes.
    std::string problem;
    const std::optional<ParamFile> file = LoadParamFile(
        FileSystemName(path), services_.regionalFormat(), TextReading::AsTyped, problem);
    if (!file) {
        tell(panel, QString::fromStdString(problem));
        return;
    }
    ApplyParamFile(*file, program_.form1());
    showModel(); // a file may give a model
}

void DesktopActions::chooseModel()
{
    if (modelDialog_ && !modelDialog_->isVisible())
        delete modelDialog_; // closed, and not yet gone: shown afresh with the model as it is
    if (!modelDialog_) {
        modelDialog_ = new ModelDialog(services_.widget("Form1"), program_.form1().model,
                                       services_.regionalFormat());
        modelDialog_->setAttribute(Qt::WA_DeleteOnClose);
        modelDialog_->onChosen = [this](const Model& model) {
            program_.form1().model = model;
            showModel();
        };
    }
    // Not modal: "Stop" stays within reach while a run goes on.
    modelDialog_->show();
    modelDialog_->raise();
    modelDialog_->activateWindow();
}

void DesktopActions::showModel()
{
    services_.widget("Form1")->setWindowTitle(
        PanelTitle(panelCaption_, program_.form1().model, services_.regionalFormat()));
}

void DesktopActions::saveImage(const std::string& windowName)
{
    if (running())
        return;
    ui::QtWindow* window = services_.window(windowName);
    QWidget* widget = window->widget();
    // The picture as drawn, one image pixel per drawing pixel.
    const std::string png = EncodePng(SurfaceOf(window->surfaceImage()));
    if (png.empty()) {
        tell(widget, "Nothing was saved: the picture could not be encoded");
        return;
    }
    save(widget, "Save image", "PNG images (*.png)", png);
}

void DesktopActions::saveApsisEvents()
{
    if (running())
        return;
    save(services_.widget("Form3"), "Save apsis events", "CSV files (*.csv)",
         std::string(ApsisCsvHeader()) + apsisRows_);
}

} // namespace gravlag

namespace gravlag {

void DesktopActions::showRunReport()
{
    if (!reportWindow_) {
        reportWindow_ = std::make_unique<RunReportWindow>();
        reportWindow_->onSave = [this] { saveRunReport(); };
        refreshRunReport();
        // First shown under the Time Evolution Display, beside the simulation, so that it
        // covers neither the panel nor the plot; on a small screen as near as fits.
        if (const QWidget* plot = services_.widget("Form3"); plot && plot->isVisible()) {
            const QPoint wanted(plot->frameGeometry().left(), plot->frameGeometry().bottom() + 1);
            const QScreen* screen = QGuiApplication::screenAt(wanted);
            if (!screen)
                screen = plot->screen();
            const QRect frame(wanted, reportWindow_->size());
            reportWindow_->move(screen ? ui::FitInside(frame, screen->availableGeometry()) : wanted);
        }
    }
    reportWindow_->show();
    reportWindow_->raise();
    reportWindow_->activateWindow();
}

void DesktopActions::refreshRunReport()
{
    if (!reportWindow_)
        return;
    const std::optional<RunReport>& report = reporter_.latest();
    const std::optional<RunResult>& run = program_.form1().lastRun();
    QString text;
    if (!report) {
        text = run ? "The latest run was refused: " + QString::fromStdString(run->message)
                   : "No run yet: \"Calculate\" runs one, and its report shows here.";
    } else {
        const bool mercury = report->scenario == Scenario::Mercury;
        text = QString("The latest run: \"%1\", %2 passes, %3.\n\n")
                   .arg(mercury ? "Mercury" : "2 BH's")
                   .arg(run ? run->passes : 0)
                   .arg(run ? QString::fromStdString(std::string(RunEndName(run->ended))) : QString("completed"));
        const std::vector<PartRead> partReads = program_.form1().partReads();
        if (!partReads.empty()) {
            text += "Boxes read only in part:\n";
            for (const PartRead& read : partReads)
                text += "  " + QString::fromStdString(PartReadText(read, services_.regionalFormat())) + "\n";
            text += "\n";
        }
        text += QString::fromStdString(AnalysisText(AnalysisJson(*report), report->scenario));
    }
    reportWindow_->setReport(text);
#ifdef GRAVLAG_RUN_CHARTS
    if (report)
        reportWindow_->setFigures({{"Elements", MakeElementCharts(series_, *report)},
                                   {"Apsis fit", MakeApsisCharts(series_, *report)}});
    else
        reportWindow_->setFigures({});
#endif
    reportWindow_->setSaveEnabled(report.has_value() && !running());
}

void DesktopActions::saveRunReport()
{
    if (running() || !reporter_.latest())
        return;
    save(reportWindow_.get(), "Save run report", "JSON files (*.json)",
         AnalysisJson(*reporter_.latest()).dump() + "\n");
}

} // namespace gravlag
