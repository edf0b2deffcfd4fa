#include "app/desktop/model_dialog.h"

#include <string>

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "core/physics/make_integration.h"

namespace gravlag {

namespace {

constexpr ForceLaw kLaws[] = {ForceLaw::Retarded, ForceLaw::Instantaneous, ForceLaw::AberrationFree,
                              ForceLaw::PostNewtonian1};
constexpr Integrator kIntegrators[] = {Integrator::Euler, Integrator::Reference};

QString Name(std::string_view name) { return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())); }

} // namespace

QString PanelTitle(const QString& caption, const Model& model, const RegionalFormat& format)
{
    // The tolerance does not count under euler, which takes the panel's step.
    if (model.integrator == Integrator::Euler && model.forceLaw == ForceLaw::Retarded)
        return caption;
    QString integrator = Name(IntegratorName(model.integrator));
    if (model.integrator == Integrator::Reference && model.tolerance != kDefaultTolerance)
        integrator += " (tolerance " + QString::fromStdString(RegionalNumberText(model.tolerance, format)) + ")";
    return caption + QString::fromUtf8(" \u2014 ") + integrator + ", " + Name(ForceLawName(model.forceLaw));
}

ModelDialog::ModelDialog(QWidget* parent, const Model& current, RegionalFormat format)
    : QDialog(parent), base_(current), format_(std::move(format)), forceLaw_(new QComboBox(this)),
      integrator_(new QComboBox(this)), tolerance_(new QLineEdit(this)), problem_(new QLabel(this))
{
    setObjectName("ModelDialog");
    setWindowTitle("Model");
    forceLaw_->setObjectName("forceLaw");
    integrator_->setObjectName("integrator");
    tolerance_->setObjectName("tolerance");
    problem_->setObjectName("problem");
    for (const ForceLaw law : kLaws) {
        forceLaw_->addItem(Name(ForceLawName(law)));
        if (law == current.forceLaw)
            forceLaw_->setCurrentIndex(forceLaw_->count() - 1);
    }
    forceLaw_->setToolTip("What pull a body feels: from where the other was a signal-travel time "
                          "ago (retarded), from where it is now (instantaneous), from its retarded "
                          "position carried on along its retarded velocity (aberration-free), or "
                          "the first post-Newtonian equations (1pn, needs c > 0)");
    for (const Integrator integrator : kIntegrators) {
        integrator_->addItem(Name(IntegratorName(integrator)));
        if (integrator == current.integrator)
            integrator_->setCurrentIndex(integrator_->count() - 1);
    }
    integrator_->setToolTip("How the state is advanced: the panel's step of dt (euler), or "
                            "adaptive high-order steps of the true delay equations to the "
                            "tolerance (reference)");
    tolerance_->setText(QString::fromStdString(RegionalNumberText(current.tolerance, format_)));
    tolerance_->setToolTip("The reference integrator's relative error per step");
    const auto enableTolerance = [this] {
        tolerance_->setEnabled(integrator_->currentIndex() == 1);
    };
    enableTolerance();
    connect(integrator_, &QComboBox::currentIndexChanged, this, enableTolerance);
    problem_->setWordWrap(true);
    problem_->hide();

    auto* form = new QFormLayout(this);
    form->addRow("Force law", forceLaw_);
    form->addRow("Integrator", integrator_);
    form->addRow("Tolerance", tolerance_);
    form->addRow(problem_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    form->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

std::optional<Model> ModelDialog::chosen(QString& problem) const
{
    Model model = base_;
    model.forceLaw = kLaws[forceLaw_->currentIndex()];
    model.integrator = kIntegrators[integrator_->currentIndex()];
    if (model.integrator != Integrator::Reference)
        return model; // the tolerance box is not in play, and keeps what it held
    const std::string text = tolerance_->text().toStdString();
    const std::optional<double> tolerance = RegionalNumberValue(text, format_);
    if (!tolerance) {
        problem = "The tolerance is not a number: \"" + tolerance_->text() + "\"";
        return std::nullopt;
    }
    if (!(*tolerance >= kMinTolerance && *tolerance <= kMaxTolerance)) {
        problem = "The tolerance must lie between "
            + QString::fromStdString(RegionalNumberText(kMinTolerance, format_)) + " and "
            + QString::fromStdString(RegionalNumberText(kMaxTolerance, format_)) + ", not "
            + tolerance_->text().trimmed();
        return std::nullopt;
    }
    model.tolerance = *tolerance;
    return model;
}

void ModelDialog::accept()
{
    QString problem;
    const std::optional<Model> model = chosen(problem);
    if (!model) {
        problem_->setText(problem);
        problem_->show();
        return; // stays open for the person to correct it
    }
    if (onChosen)
        onChosen(*model);
    QDialog::accept();
}

} // namespace gravlag
