#pragma once

#include <span>

#include "Model/Calendar.hpp"
#include "Model/Records.hpp"
#include "Services/VellCoreBridge.hpp"

namespace ostrel {

// Sums samples into buckets of the user's calendar: the sample's local day, or its local hour
// (or five minutes) on that day. A bucket time that does not exist that day (a daylight-saving
// gap) becomes the next existing time; one that happens twice takes its first occurrence; when
// the calendar forms no date the sample's own time is its bucket. Only buckets that received a
// sample have a point, in ascending time. The summary covers every sample given; none is
// filtered.
VellAggregation aggregateLocally(std::span<const UsageSampleRecord> samples, VellBucketSize bucketSize,
                                 const Calendar& calendar);

}  // namespace ostrel
