#pragma once
// A label on QLabel.

#include <QLabel>

#include "ui/qt/qt_control.h"

namespace gravlag::ui {

class QtLabel final : public QtControl<Label> {
public:
    QtLabel(QWidget* parent, const ControlDesign& design, const TwipsScale& scale);
    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    QLabel* label() const { return label_; }

private:
    QLabel* label_;
};

} // namespace gravlag::ui
