#pragma once
// What every control on Qt shares: its name (also the widget's object name), its design
// geometry converted to pixels, position and its own visibility flag, and the context object
// of its connections.

#include <string>

#include <QObject>
#include <QString>
#include <QWidget>

#include "ui/qt/twips_scale.h"
#include "ui/window_services.h"

namespace gravlag::ui {

template <typename Interface>
class QtControl : public Interface {
public:
    const std::string& name() const override { return name_; }
    int left() const override { return widget_->x(); }
    void setLeft(int px) override { widget_->move(px, widget_->y()); }
    int top() const override { return widget_->y(); }
    void setTop(int px) override { widget_->move(widget_->x(), px); }
    bool isVisible() const override { return !widget_->isHidden(); }
    void setVisible(bool visible) override { widget_->setVisible(visible); }

    QWidget* widget() const { return widget_; }
    int tabIndex() const { return tabIndex_; }

protected:
    // widget: created by the derived class as a child of the window's widget, which owns it.
    QtControl(QWidget* widget, const ControlDesign& design, const TwipsScale& scale)
        : name_(design.name)
        , tabIndex_(design.tabIndex)
        , widget_(widget)
    {
        widget_->setObjectName(QString::fromStdString(design.name));
        widget_->setGeometry(scale.toPixels(design.left), scale.toPixels(design.top),
                             scale.toPixels(design.width), scale.toPixels(design.height));
        widget_->show(); // shown with its window, also when added to a window already open
    }

    // Goes with this wrapper: a connection or deferred call made with it as context ends
    // when the wrapper goes, whichever of wrapper and widget goes first.
    QObject* lifetime() { return &lifetime_; }

private:
    std::string name_;
    int tabIndex_;
    QWidget* widget_;
    QObject lifetime_;
};

} // namespace gravlag::ui
