#pragma once
// Keeps "Control Display" in front of the displays as they first appear. Where the screen is
// too small for the layout, the displays are moved inside it and come to lie over the panel;
// the panel holds "Stop", so it must not disappear under them when a run starts.

#include <QObject>

class QWidget;

namespace gravlag {

class PanelInFront final : public QObject {
public:
    PanelInFront(QWidget* panel, std::initializer_list<QWidget*> displays);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* panel_;
};

} // namespace gravlag
