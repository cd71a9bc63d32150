#pragma once

#include <deque>
#include <string>
#include <string_view>
#include <variant>

#include "models/Models.hpp"
#include "models/RequestFields.hpp"

namespace ostrel::vell {

// A request whose identifiers and names point into the text it was read from, or, for those written
// with escapes, into `decoded`; it lives no longer than that text.
template <class Request>
struct ParsedRequest {
    std::deque<std::string> decoded;
    Request request;
};

// Either the request or the reader's description of the first fault, ending in
// " at line L column C" (1-based, in bytes) where the reader stopped. `json` holds no NUL and is
// followed by one (a C string's text); the request points into it.
template <class Request>
using ReadOutcome = std::variant<ParsedRequest<Request>, std::string>;

ReadOutcome<AggregateRequest> readAggregateRequest(std::string_view json);
ReadOutcome<RankingRequest> readRankingRequest(std::string_view json);
ReadOutcome<ThresholdRequest> readThresholdRequest(std::string_view json);

}  // namespace ostrel::vell
