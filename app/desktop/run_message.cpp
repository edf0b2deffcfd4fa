#include "app/desktop/run_message.h"

#include <QMessageBox>
#include <QString>

#include "core/run.h"

namespace gravlag {

bool ShowRunMessage(QWidget* parent, const RunResult& result)
{
    if (result.ended != RunEnd::Fault && result.ended != RunEnd::Refused)
        return false;
    const QString title = result.ended == RunEnd::Fault ? "Run ended" : "Run not started";
    QMessageBox box(QMessageBox::Warning, title, QString::fromStdString(result.message),
                    QMessageBox::Ok, parent);
    box.setObjectName("RunMessage");
    box.exec();
    return true;
}

} // namespace gravlag
