#pragma once
// "Run report": a window of its own, not modal, with the latest run's analysis as text that
// can be selected and copied, and a "Save…" button for the same report as JSON. The window
// only shows; DesktopActions fills it and saves.

#include <functional>

#include <QString>
#include <QWidget>

class QPlainTextEdit;
class QPushButton;

namespace gravlag {

class RunReportWindow final : public QWidget {
public:
    RunReportWindow();
    void setReport(const QString& text);
    void setSaveEnabled(bool enabled);
    std::function<void()> onSave; // "Save…" clicked
    QPlainTextEdit* text() const { return text_; }

private:
    QPlainTextEdit* text_;
    QPushButton* save_;
};

} // namespace gravlag
