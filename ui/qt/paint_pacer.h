#pragma once
// Paints changed widgets at most about 60 times a second. A run changes the progress boxes
// and sets dots every 100 passes, which can be tens of thousands of times a second; painting
// each change would cost far more than the run. A widget handed to DeferPaint stops painting
// until the next frame, ~16 ms later, when it is repainted once with all its changes. Its
// content (text, image) changes at once; only the painting waits. GUI thread only.

#include <functional>

class QObject;
class QWidget;

namespace gravlag::ui {

void DeferPaint(QWidget* widget);

// While texts are paced (during a run), a text box keeps the text the program sets and hands
// it to its widget at the next frame: laying out a line edit's text costs more than a hundred
// passes. `apply` is called then, unless `owner` is gone by then.
void SetPacedTexts(bool paced);
bool PacedTexts();
void DeferToFrame(QObject* owner, std::function<void()> apply);

// Applies every deferred text and repaints every deferred widget now (for tests and before a picture is taken).
void FlushDeferredPaints();

} // namespace gravlag::ui
