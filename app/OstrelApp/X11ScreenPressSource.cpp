#include "OstrelApp/X11ScreenPressSource.hpp"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <cstdlib>

namespace ostrel {
namespace {

xcb_connection_t* programConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace

std::unique_ptr<ScreenPressSource> X11ScreenPressSource::create() {
    xcb_connection_t* connection = programConnection();
    if (connection == nullptr) return nullptr;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
    if (input == nullptr || !input->present) return nullptr;
    // Qt has already agreed on XInput 2 with the server for this connection.
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    xcb_generic_error_t* error =
        xcb_request_check(connection, xcb_input_xi_select_events_checked(connection, root, 1, &mask.header));
    if (error != nullptr) {
        std::free(error);
        return nullptr;
    }
    return std::unique_ptr<ScreenPressSource>(new X11ScreenPressSource(input->major_opcode));
}

X11ScreenPressSource::X11ScreenPressSource(std::uint8_t inputOpcode) : inputOpcode_(inputOpcode) {
    QCoreApplication::instance()->installNativeEventFilter(this);
}

X11ScreenPressSource::~X11ScreenPressSource() {
    if (QCoreApplication::instance() != nullptr) QCoreApplication::instance()->removeNativeEventFilter(this);
}

bool X11ScreenPressSource::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return false;
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (generic->extension != inputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) return false;
    // Buttons 4 to 7 are wheel notches, not clicks.
    const auto* raw = static_cast<const xcb_input_raw_button_press_event_t*>(message);
    if (raw->detail < 4 || raw->detail > 7) emit pressed(QCursor::pos());
    // Qt asked for no raw events of its own and passes on those it does not know.
    return false;
}

}  // namespace ostrel
