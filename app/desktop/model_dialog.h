#pragma once
// "Model…" on the panel's context menu: the force law and the integrator of the next runs,
// with the reference integrator's tolerance. A run keeps the model it started with, so the
// dialog opens during a run too and holds nothing. The panel's title names a model other
// than the default, so that default runs look as they always did.

#include <functional>
#include <optional>

#include <QDialog>
#include <QString>

#include "core/number_text.h"
#include "core/physics/model.h"

class QComboBox;
class QLabel;
class QLineEdit;

namespace gravlag {

// "Control Display — reference, 1pn" (the tolerance too where it is not the default);
// `caption` alone for the default model (euler, retarded).
QString PanelTitle(const QString& caption, const Model& model, const RegionalFormat& format);

class ModelDialog final : public QDialog {
public:
    ModelDialog(QWidget* parent, const Model& current, RegionalFormat format);

    // Called with the model chosen when the person presses OK and it is sound.
    std::function<void(const Model&)> onChosen;

    // The model the dialog holds, or why not: the tolerance is read wholly as a number in the
    // user's format, within what the reference integrator takes.
    std::optional<Model> chosen(QString& problem) const;

    void accept() override;

private:
    Model base_; // what the dialog does not show keeps its value
    RegionalFormat format_;
    QComboBox* forceLaw_;
    QComboBox* integrator_;
    QLineEdit* tolerance_;
    QLabel* problem_;
};

} // namespace gravlag
