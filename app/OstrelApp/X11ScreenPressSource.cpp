#include "OstrelApp/X11ScreenPressSource.hpp"

#include <xcb/xcb.h>
#include <xcb/xinput.h>

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <cstdlib>

namespace ostrel {
namespace {

// Each press the program is told of: QT_LOGGING_RULES="ostrel.screenpresses.debug=true".
Q_LOGGING_CATEGORY(lcScreenPresses, "ostrel.screenpresses", QtInfoMsg)

xcb_connection_t* programConnection() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 != nullptr ? x11->connection() : nullptr;
}

// Raw button presses of every master device on the root window, or none.
xcb_void_cookie_t selectPresses(xcb_connection_t* connection, bool presses, bool checked) {
    struct {
        xcb_input_event_mask_t header;
        std::uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1}, presses ? std::uint32_t{XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS} : 0};
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    return checked ? xcb_input_xi_select_events_checked(connection, root, 1, &mask.header)
                   : xcb_input_xi_select_events(connection, root, 1, &mask.header);
}

}  // namespace

std::unique_ptr<ScreenPressSource> X11ScreenPressSource::create() {
    xcb_connection_t* connection = programConnection();
    if (connection == nullptr) return nullptr;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(connection, &xcb_input_id);
    if (input == nullptr || !input->present) return nullptr;
    // Qt has already agreed on XInput 2 with the server for this connection. Selecting nothing
    // tells whether the server takes the selection, without asking for any press yet.
    xcb_generic_error_t* error = xcb_request_check(connection, selectPresses(connection, false, true));
    if (error != nullptr) {
        std::free(error);
        return nullptr;
    }
    return std::unique_ptr<ScreenPressSource>(new X11ScreenPressSource(connection, input->major_opcode));
}

X11ScreenPressSource::X11ScreenPressSource(xcb_connection_t* connection, std::uint8_t inputOpcode)
    : connection_(connection), inputOpcode_(inputOpcode) {}

X11ScreenPressSource::~X11ScreenPressSource() {
    if (QCoreApplication::instance() != nullptr) setListening(false);
}

void X11ScreenPressSource::setListening(bool listening) {
    if (listening == listening_) return;
    listening_ = listening;
    // Not waited for: the server takes it in order, before any later request of the program.
    selectPresses(connection_, listening, false);
    xcb_flush(connection_);
    if (listening) {
        QCoreApplication::instance()->installNativeEventFilter(this);
    } else {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

bool X11ScreenPressSource::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7f) != XCB_GE_GENERIC) return false;
    const auto* generic = static_cast<const xcb_ge_generic_event_t*>(message);
    if (generic->extension != inputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS) return false;
    // Buttons 4 to 7 are wheel notches, not clicks.
    const auto* raw = static_cast<const xcb_input_raw_button_press_event_t*>(message);
    if (raw->detail < 4 || raw->detail > 7) {
        const QPoint where = QCursor::pos();
        qCDebug(lcScreenPresses) << "press at" << where;
        emit pressed(where);
    }
    // Qt asked for no raw events of its own and passes on those it does not know.
    return false;
}

}  // namespace ostrel
