#pragma once
// A command button on QPushButton.

#include <QPushButton>

#include "ui/qt/qt_control.h"

namespace gravlag::ui {

class QtButton final : public QtControl<Button> {
public:
    QtButton(QWidget* parent, const ControlDesign& design, const TwipsScale& scale);
    std::string caption() const override;
    void setCaption(std::string_view caption) override;
    void onClick(Handler handler) override { onClick_ = std::move(handler); }
    QPushButton* pushButton() const { return button_; }

private:
    QPushButton* button_;
    Handler onClick_;
};

} // namespace gravlag::ui
