#pragma once

#include <QUrl>
#include <functional>

namespace ostrel {

// Hands an address to the desktop's handler for its scheme. The answer says whether a handler took
// it, and comes later, on the thread that asked, through its event loop.
class UrlOpener {
public:
    using Done = std::function<void(bool opened)>;

    virtual ~UrlOpener() = default;
    virtual void open(const QUrl& url, Done done) = 0;
};

}  // namespace ostrel
