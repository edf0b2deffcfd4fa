#include "app/desktop/run_report_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace gravlag {

RunReportWindow::RunReportWindow()
    : tabs_(new QTabWidget(this)), text_(new QPlainTextEdit(this)), save_(new QPushButton("Save…", this))
{
    setObjectName("RunReport");
    setWindowTitle("Run report");
    text_->setObjectName("reportText");
    text_->setReadOnly(true); // read-only still selects, copies and selects all
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setLineWrapMode(QPlainTextEdit::NoWrap);
    text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont)); // the columns line up
    save_->setObjectName("saveReport");
    save_->setToolTip("Save the report as JSON, as gravlag-batch --report --json writes its \"analysis\"");
    connect(save_, &QPushButton::clicked, this, [this] {
        if (onSave)
            onSave();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(save_);
    tabs_->setObjectName("reportTabs");
    tabs_->addTab(text_, "Report");
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs_);
    layout->addLayout(buttons);
    resize(860, 720); // room for three charts on a page
}

void RunReportWindow::setReport(const QString& text) { text_->setPlainText(text); }

void RunReportWindow::setFigures(const std::vector<std::pair<QString, QWidget*>>& pages)
{
    while (tabs_->count() > 1) {
        QWidget* old = tabs_->widget(1);
        tabs_->removeTab(1);
        delete old;
    }
    for (const auto& [title, page] : pages)
        if (page)
            tabs_->addTab(page, title);
}

void RunReportWindow::setSaveEnabled(bool enabled) { save_->setEnabled(enabled); }

} // namespace gravlag
