#pragma once
// The widget of a top-level window: its inner area is a backing image, so whatever is drawn
// survives the window being covered, minimised and uncovered; the controls sit on top of it.

#include <functional>

#include <QImage>
#include <QWidget>

namespace gravlag::ui {

class PaintPacer;

class DrawingSurface final : public QWidget {
    Q_OBJECT
public:
    DrawingSurface(QSize innerSize, PaintPacer& pacer);

    // The image is valid until the next call to the surface; copies of it are the pixels at
    // the time of the copy.
    const QImage& image() const { return image_; }
    // The image follows the widget's size, keeping the pixels that overlap; new area is white.
    void fitImage();
    void erase();
    void setPixel(int x, int y, QRgb color); // a pixel outside the image is ignored

    // Asked when the person closes the window through its frame; answers whether it may close.
    void setCloseRequestHandler(std::function<bool()> handler) { closeRequest_ = std::move(handler); }
    // Called each time the window is shown, whoever shows it.
    void setShownHandler(std::function<void()> handler) { shown_ = std::move(handler); }
    // Makes the native window and the painting buffer behind it while the window is hidden,
    // and writes that buffer's memory and the image's once, with room for half as much
    // again, so that showing the window later (at a run's start, after the run's layout has
    // resized it) neither waits for the window system nor faults in fresh pages. Nothing
    // for a window shown or made already.
    void prepareShowing();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // What changed is repainted at the next frame (see paint_pacer.h), as one rectangle
    // around all of it: dots come far faster than a screen can show them.
    void repaintLater(const QRect& area);
    // The image at `size`, in memory of its own that no copy of it shares (see fitImage),
    // with room for `room` bytes at least.
    void reshape(QSize size, std::size_t room = 0);

    PaintPacer& pacer_;
    QImage image_;
    struct PixelMemory;
    PixelMemory* memory_ = nullptr; // the image's pixels, freed by the image's last copy
    QRect dirty_;
    std::function<bool()> closeRequest_;
    std::function<void()> shown_;
};

} // namespace gravlag::ui
