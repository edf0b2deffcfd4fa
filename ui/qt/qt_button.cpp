#include "ui/qt/qt_button.h"

#include "ui/raise.h"

namespace gravlag::ui {

QtButton::QtButton(QWidget* parent, const ControlDesign& design, const TwipsScale& scale)
    : QtControl(new QPushButton(parent), design, scale)
    , button_(static_cast<QPushButton*>(widget()))
{
    button_->setText(QString::fromStdString(design.text));
    button_->setAutoDefault(false);
    // "Calculate" runs a whole simulation in here.
    QObject::connect(button_, &QPushButton::clicked, lifetime(), [this] { Raise(onClick_); });
}

std::string QtButton::caption() const
{
    return button_->text().toStdString();
}

void QtButton::setCaption(std::string_view caption)
{
    button_->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

} // namespace gravlag::ui
