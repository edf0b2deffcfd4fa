#pragma once
// "Run report": a window of its own, not modal, with the latest run's analysis as text that
// can be selected and copied, and a "Save…" button for the same report as JSON; where the
// program is built with Qt Charts, the run's figures on further tabs. The window only
// shows; DesktopActions fills it and saves.

#include <functional>
#include <utility>
#include <vector>

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace gravlag {

class RunReportWindow final : public QWidget {
public:
    RunReportWindow();
    void setReport(const QString& text);
    // The figures' pages after the text, each under its tab title, in place of those of the
    // previous run; a null page is left out. The window owns them.
    void setFigures(const std::vector<std::pair<QString, QWidget*>>& pages);
    QTabWidget* tabs() const { return tabs_; }
    void setSaveEnabled(bool enabled);
    std::function<void()> onSave; // "Save…" clicked
    QPlainTextEdit* text() const { return text_; }

private:
    QTabWidget* tabs_;
    QPlainTextEdit* text_;
    QPushButton* save_;
};

} // namespace gravlag
