#include "ui/qt/qt_label.h"

namespace gravlag::ui {

QtLabel::QtLabel(QWidget* parent, const ControlDesign& design, const TwipsScale& scale)
    : QtControl(new QLabel(parent), design, scale)
    , label_(static_cast<QLabel*>(widget()))
{
    label_->setTextFormat(Qt::PlainText); // a caption is shown as it is, never as markup
    label_->setText(QString::fromStdString(design.text));
}

std::string QtLabel::caption() const
{
    return label_->text().toStdString();
}

void QtLabel::setCaption(std::string_view caption)
{
    label_->setText(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
}

} // namespace gravlag::ui
