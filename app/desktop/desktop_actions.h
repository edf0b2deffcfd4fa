#pragma once
// What the desktop program adds around the panel: Ctrl+S and Ctrl+O for parameter files on
// "Control Display", and a context menu on the two displays with "Save image…" and, on
// "Time Evolution Display" in "Mercury", "Save apsis events…". Every file is written whole
// or not at all (OutputFile), and a save that fails is told. While a run goes on these
// entries are disabled: their dialogs would hold the run at its hand-over.

#include <functional>
#include <string>
#include <vector>

#include <QObject>
#include <QString>

#include "ui/subscription.h"

class QAction;
class QWidget;

namespace gravlag {

class Program;
namespace ui {
class QtServices;
}

class DesktopActions final : public QObject {
public:
    DesktopActions(ui::QtServices& services, Program& program);

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

private:
    QAction* addAction(QWidget* widget, const char* name, const QString& text);
    bool running() const;
    // Writes `bytes` to the file the person picks; tells when that fails.
    void save(QWidget* parent, const QString& title, const QString& filter, const std::string& bytes);

    ui::QtServices& services_;
    Program& program_;
    std::string apsisRows_; // rows of the apsis CSV, without the header
    std::vector<QAction*> fileActions_;
    QAction* saveApsis_ = nullptr;
    ui::ScopedSubscription apsisEvents_;    // this goes before the panel
    ui::ScopedSubscription runningChanged_; // and before the services
};

} // namespace gravlag
