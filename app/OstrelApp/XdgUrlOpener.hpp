#pragma once

#include <QObject>
#include <QString>

#include "OstrelApp/UrlOpener.hpp"

namespace ostrel {

// Opens through xdg-open and waits for it without blocking: it ends with status 0 once a handler
// took the address, and otherwise when none could (or it does not start at all). Qt's own call
// reports success as soon as xdg-open has started. A handler that xdg-open runs in the foreground
// answers when it ends. xdg-open's messages and the handler's output go to this program's own
// standard output and error, so that a handler outlives the program without a closed pipe.
class XdgUrlOpener final : public QObject, public UrlOpener {
    Q_OBJECT

public:
    explicit XdgUrlOpener(QString program = QStringLiteral("xdg-open"), QObject* parent = nullptr);
    // Ends the xdg-open runs still waiting, without an answer; the handlers they started run on.
    ~XdgUrlOpener() override;

    void open(const QUrl& url, Done done) override;

private:
    QString program_;
};

}  // namespace ostrel
