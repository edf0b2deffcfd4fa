#pragma once
// Tells that the person pressed or released a key or a button on the X display, while the
// program's own thread is busy with a run. Qt reads the display's events on a thread of its
// own and keeps them where no public interface can see them; so this watch opens a second
// connection to the display, asks the X Input extension for its raw key, button and touch
// events (delivered to every client that asks, whichever window they go to) and counts them
// on a thread of its own. Reading the count costs an atomic load.
//
// It follows $DISPLAY; a program started with Qt's -display option on another display
// watches the wrong one (its clicks then wait for the next frame's hand-over).

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

namespace gravlag::ui {

class XInputWatch {
public:
    // A running watch, or none when the display cannot be opened or lacks X Input 2.1.
    static std::unique_ptr<XInputWatch> Start();
    ~XInputWatch();
    XInputWatch(const XInputWatch&) = delete;
    XInputWatch& operator=(const XInputWatch&) = delete;

    std::uint64_t inputCount() const { return count_.load(std::memory_order_acquire); }

private:
    struct Connection;
    explicit XInputWatch(std::unique_ptr<Connection> connection);
    void run();

    std::unique_ptr<Connection> connection_;
    std::atomic<std::uint64_t> count_{0};
    std::thread thread_;
};

} // namespace gravlag::ui
