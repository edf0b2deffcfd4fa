#pragma once
// Paints changed widgets at most about 60 times a second. A run changes the progress boxes
// and sets dots every 100 passes, which can be tens of thousands of times a second; painting
// each change would cost far more than the run. A widget handed to deferPaint stops painting
// until the next frame, ~16 ms later, when it is repainted once with all its changes. Its
// content (text, image) changes at once; only the painting waits. One pacer belongs to each
// QtServices, for the widgets of its windows; GUI thread only.

#include <functional>
#include <vector>

#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace gravlag::ui {

class PaintPacer final : public QObject {
public:
    static constexpr int kFrameMs = 16;

    PaintPacer();

    void deferPaint(QWidget* widget);

    // While texts are paced (during a run), a text box keeps the text the program sets and
    // hands it to its widget at the next frame: laying out a line edit's text costs more
    // than a hundred passes. `apply` is called then, unless `owner` is gone by then.
    void setPacedTexts(bool paced) { pacedTexts_ = paced; }
    bool pacedTexts() const { return pacedTexts_; }
    void deferToFrame(QObject* owner, std::function<void()> apply);

    // Applies every deferred text and repaints every deferred widget now: at a frame, and
    // for tests and before a picture is taken.
    void flush();

private:
    struct Call {
        QPointer<QObject> owner;
        std::function<void()> apply;
    };
    QTimer timer_;
    std::vector<Call> calls_;
    std::vector<QPointer<QWidget>> waiting_;
    bool pacedTexts_ = false;
};

} // namespace gravlag::ui
