#pragma once

#include <string>

#include "models/Models.hpp"

namespace ostrel::vell {

// Compact JSON of each response record, keys in record order.
std::string toJson(const AggregateResponse& response);
std::string toJson(const RankingResponse& response);
std::string toJson(const ThresholdResponse& response);
std::string toJson(const ErrorResponse& response);

}  // namespace ostrel::vell
