#pragma once

#include <functional>
#include <memory>

#include "Model/Date.hpp"
#include "Persistence/OstrelRepository.hpp"
#include "Platform/LogSink.hpp"

namespace ostrel {

// Fills a store that holds no traffic with two weeks of hourly demonstration traffic, every
// record marked with the source "mock" so that a later start without demonstration data can
// remove it. Each seeding draws new data from the system's random source.
class MockDataSeeder final {
public:
    static constexpr int lookBackHours = 336;

    MockDataSeeder(std::shared_ptr<OstrelRepository> repository, std::shared_ptr<LogSink> log,
                   std::function<Date()> clock = currentDate);

    // Never throws: a failure is logged and nothing of the seeding is kept.
    void seedIfEmpty();

private:
    std::shared_ptr<OstrelRepository> repository;
    std::shared_ptr<LogSink> log_;
    std::function<Date()> clock_;
};

}  // namespace ostrel
