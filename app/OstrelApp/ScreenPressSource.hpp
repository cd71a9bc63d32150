#pragma once

#include <QObject>
#include <QPoint>
#include <memory>

namespace ostrel {

// Reports each press of a pointer button anywhere on the screen, whichever program's window it
// lands in, without taking the pointer from that program: the popover closes on presses outside
// it, and the press still reaches what was clicked (the tray host's icon, say). It reports only
// while listening, and asks the display server for nothing otherwise: other programs' clicks are
// none of the program's business while the popover is closed.
class ScreenPressSource : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;
    ~ScreenPressSource() override;

    // Starts or stops listening; a source starts stopped.
    virtual void setListening(bool listening) = 0;

    // The display server's source, or null where it tells no program of other programs' clicks
    // (Wayland, the offscreen platform).
    static std::unique_ptr<ScreenPressSource> forPlatform();

signals:
    // A button went down, the pointer at `where` (global coordinates); wheel notches are left out.
    void pressed(QPoint where);
};

}  // namespace ostrel
