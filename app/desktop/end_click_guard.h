#pragma once
// "End" reads "Stop" during a run and ends the program at rest. A click aimed at "Stop" that
// lands just after the run has ended would end the program at once and lose the drawings:
// for a short while after a run, a click on the button is taken as the "Stop" it was aimed
// at, and ignored.

#include <chrono>

#include <QElapsedTimer>
#include <QObject>

class QPushButton;

namespace gravlag {

class EndClickGuard final : public QObject {
public:
    static constexpr std::chrono::milliseconds kAfterRun{500};

    explicit EndClickGuard(QPushButton* end);
    void runEnded(); // call when a run has ended, its caption back to "End"

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPushButton* end_;
    QElapsedTimer sinceRun_;
};

} // namespace gravlag
