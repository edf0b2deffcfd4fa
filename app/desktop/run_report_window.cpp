#include "app/desktop/run_report_window.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace gravlag {

RunReportWindow::RunReportWindow()
    : text_(new QPlainTextEdit(this)), save_(new QPushButton("Save…", this))
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
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    resize(760, 520);
}

void RunReportWindow::setReport(const QString& text) { text_->setPlainText(text); }

void RunReportWindow::setSaveEnabled(bool enabled) { save_->setEnabled(enabled); }

} // namespace gravlag
