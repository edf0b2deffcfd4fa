#pragma once
// What the desktop program adds around the panel: Ctrl+S and Ctrl+O for parameter files on
// "Control Display", and a context menu on the two displays with "Save image…" and, on
// "Time Evolution Display", "Run report…" (the latest run's analysis in a window of its own,
// with "Save…" as JSON, and its figures) and in "Mercury" "Save apsis events…". Every run is analysed for
// that report. Every file is written whole or not at all (OutputFile), and a save that fails
// is told. While a run goes on the saving entries are disabled: their dialogs would hold
// the run at its hand-over. A right click on "Control Display" offers "Model…" (the force
// law and integrator of the next runs, named in the panel's title) and the parameter files;
// its boxes' tooltips say what each means and how the latest run read it (box_help.h).

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QString>

#include "app/desktop/model_dialog.h"
#include "app/desktop/run_series.h"
#include "panel/run_reporter.h"
#include "ui/subscription.h"

class QAction;
class QWidget;

namespace gravlag {

class BoxToolTips;
class Program;
class RunReportWindow;
namespace ui {
class QtServices;
}

class DesktopActions final : public QObject {
public:
    DesktopActions(ui::QtServices& services, Program& program);
    ~DesktopActions() override;

    // Asks for a file name: a file dialog unless a test puts its own answer here. An empty
    // answer means the person cancelled.
    std::function<QString(QWidget* parent, const QString& title, const QString& filter, bool save)> askFile;
    // Tells the person what went wrong: a message box unless a test listens here.
    std::function<void(QWidget* parent, const QString& message)> tell;

    // Each does nothing while a run goes on.
    void saveParameters();
    void loadParameters();
    void saveImage(const std::string& windowName);
    void saveApsisEvents();
    const std::string& apsisRows() const { return apsisRows_; } // of the latest run
    // "Run report…": the window shown (made at the first call) and raised.
    void showRunReport();
    void saveRunReport();
    RunReportWindow* runReportWindow() const { return reportWindow_.get(); } // none before the first
    const RunReporter& reporter() const { return reporter_; }
    const RunSeries& series() const { return series_; } // the latest run's, for its figures
    // "Model…": the dialog shown (made afresh each time it is not open) and raised.
    void chooseModel();
    ModelDialog* modelDialog() const { return modelDialog_; } // none while not open
    // The panel's title for its model; after anything that may change the model.
    void showModel();
    const BoxToolTips& boxToolTips() const { return *boxToolTips_; }

private:
    QAction* addAction(QWidget* widget, const char* name, const QString& text);
    bool running() const;
    // Writes `bytes` to the file the person picks; tells when that fails.
    void save(QWidget* parent, const QString& title, const QString& filter, const std::string& bytes);
    void refreshRunReport();

    ui::QtServices& services_;
    Program& program_;
    std::string apsisRows_; // rows of the apsis CSV, without the header
    std::vector<QAction*> fileActions_;
    QAction* saveApsis_ = nullptr;
    QAction* showReport_ = nullptr;
    RunReporter reporter_;
    RunSeries series_;
    std::unique_ptr<RunReportWindow> reportWindow_;
    QString panelCaption_; // the panel's own caption, which the title begins with
    QPointer<ModelDialog> modelDialog_;
    BoxToolTips* boxToolTips_; // owned by the panel's widget
    ui::ScopedSubscription apsisEvents_;    // this goes before the panel
    ui::ScopedSubscription runningChanged_; // and before the services
};

} // namespace gravlag
