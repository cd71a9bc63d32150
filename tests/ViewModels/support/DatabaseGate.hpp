#pragma once

#include <memory>
#include <string>
#include <thread>

#include "Services/OstrelDataService.hpp"

namespace ostrel::testing {

// Holds a data service's database queue as a long read does: a statement on the service's own
// connection waits inside SQLite until the test lets it go, and every later statement of the
// service queues behind it. After 10 s the statement goes on by itself and the gate counts as
// expired, so a caller that waited for the database all along fails its test instead of hanging.
class DatabaseGate final {
public:
    // Gives every connection opened afterwards in this process the function the gate waits in;
    // call before the data service opens its database.
    static void install();

    explicit DatabaseGate(std::string databasePath);
    ~DatabaseGate();  // releases
    DatabaseGate(const DatabaseGate&) = delete;
    DatabaseGate& operator=(const DatabaseGate&) = delete;

    // Returns once the service's queue is held; false if it never was. The service is held until
    // the release.
    bool hold(std::shared_ptr<OstrelDataService> service);
    void release();
    bool expired() const;

private:
    std::string databasePath_;
    std::thread holder_;
};

}  // namespace ostrel::testing
