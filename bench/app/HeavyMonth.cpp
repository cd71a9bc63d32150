#include "HeavyMonth.hpp"

#include "Model/Calendar.hpp"
#include "Model/Date.hpp"
#include "support/BenchStore.hpp"

namespace ostrel::bench {

void buildHeavyMonth(const std::string& path) {
    HeavyStoreShape shape = HeavyStoreShape::month();
    shape.lastDay = Calendar::current().localDay(currentDate());
    generateHeavyStore(shape, path);
}

}  // namespace ostrel::bench
