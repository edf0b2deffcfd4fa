#include "ui/qt/x_input_watch.h"

#include <cerrno>
#include <cstdlib>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <xcb/xcb.h>
#include <xcb/xinput.h>

namespace gravlag::ui {

struct XInputWatch::Connection {
    xcb_connection_t* xcb = nullptr;
    int stop = -1; // an eventfd: written once to end the thread

    ~Connection()
    {
        if (xcb)
            xcb_disconnect(xcb);
        if (stop >= 0)
            close(stop);
    }
};

namespace {

// Raw events reach every client that selects them on the root window, also while another
// client holds a grab (as the program does between a button's press and its release), from
// X Input 2.1 on.
bool SelectRawInput(xcb_connection_t* c)
{
    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c, &xcb_input_id);
    if (!ext || !ext->present)
        return false;
    xcb_input_xi_query_version_reply_t* version
        = xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 1), nullptr);
    const bool recent = version
        && (version->major_version > 2
            || (version->major_version == 2 && version->minor_version >= 1));
    std::free(version);
    if (!recent)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    struct {
        xcb_input_event_mask_t head;
        std::uint32_t bits;
    } mask{};
    mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
    mask.head.mask_len = 1;
    mask.bits = XCB_INPUT_XI_EVENT_MASK_RAW_KEY_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_KEY_RELEASE
        | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE
        | XCB_INPUT_XI_EVENT_MASK_RAW_TOUCH_BEGIN | XCB_INPUT_XI_EVENT_MASK_RAW_TOUCH_END;
    xcb_generic_error_t* error
        = xcb_request_check(c, xcb_input_xi_select_events_checked(c, root, 1, &mask.head));
    std::free(error);
    return error == nullptr;
}

} // namespace

std::unique_ptr<XInputWatch> XInputWatch::Start()
{
    auto connection = std::make_unique<Connection>();
    connection->xcb = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection->xcb) || !SelectRawInput(connection->xcb))
        return nullptr;
    connection->stop = eventfd(0, EFD_CLOEXEC);
    if (connection->stop < 0)
        return nullptr;
    std::unique_ptr<XInputWatch> watch(new XInputWatch(std::move(connection)));
    watch->thread_ = std::thread([w = watch.get()] { w->run(); });
    return watch;
}

XInputWatch::XInputWatch(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection))
{
}

XInputWatch::~XInputWatch()
{
    if (!thread_.joinable())
        return;
    const std::uint64_t one = 1;
    while (write(connection_->stop, &one, sizeof one) < 0 && errno == EINTR) {
    }
    thread_.join();
}

void XInputWatch::run()
{
    xcb_connection_t* c = connection_->xcb;
    pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {connection_->stop, POLLIN, 0}};
    for (;;) {
        // The only events this connection asked for are the raw ones.
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_GE_GENERIC)
                count_.fetch_add(1, std::memory_order_release);
            std::free(event);
        }
        if (xcb_connection_has_error(c))
            return; // the display went away; the program learns it through its own connection
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents & POLLIN)
            return;
    }
}

} // namespace gravlag::ui
