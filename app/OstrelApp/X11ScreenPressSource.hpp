#pragma once

#include <QAbstractNativeEventFilter>
#include <cstdint>
#include <memory>

#include "OstrelApp/ScreenPressSource.hpp"

struct xcb_connection_t;

namespace ostrel {

// The X server's raw button events (XInput 2), which every client may read on the root window
// while another holds the pointer, unlike the button events of a pointer grab. Selected on the
// root window only while listening.
class X11ScreenPressSource final : public ScreenPressSource, private QAbstractNativeEventFilter {
    Q_OBJECT

public:
    // Null when the program's X connection lacks XInput 2 or the server refuses the selection.
    static std::unique_ptr<ScreenPressSource> create();
    ~X11ScreenPressSource() override;

    void setListening(bool listening) override;

private:
    X11ScreenPressSource(xcb_connection_t* connection, std::uint8_t inputOpcode);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    xcb_connection_t* connection_;
    std::uint8_t inputOpcode_;
    bool listening_ = false;
};

}  // namespace ostrel
