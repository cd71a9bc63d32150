#include "timeframe/Timeframe.hpp"

#include "timeframe/CivilDate.hpp"

namespace ostrel::vell {

std::int64_t bucketLengthSeconds(BucketSize size) {
    switch (size) {
        case BucketSize::fiveMinutes:
            return 300;
        case BucketSize::hour:
            return 3600;
        case BucketSize::day:
            return 86400;
    }
    return 3600;
}

// UTC has no irregular days (leap seconds are not counted in Unix time), so flooring the seconds
// count to a multiple of the bucket length is the same as truncating the civil date and time.
Timestamp floorToBucket(Timestamp instant, BucketSize size) {
    const std::int64_t length = bucketLengthSeconds(size);
    return Timestamp{instant.seconds - floorMod(instant.seconds, length), 0};
}

}  // namespace ostrel::vell
