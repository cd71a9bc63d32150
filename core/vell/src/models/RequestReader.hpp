#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "models/Models.hpp"
#include "models/RequestFields.hpp"

namespace ostrel::vell {

// A request together with the text buffer that its identifiers and names point into.
template <class Request>
struct ParsedRequest {
    std::unique_ptr<char[]> storage;
    Request request;
};

// Either the request or the reader's description of the first fault, ending in
// " at line L column C" (1-based, in bytes) where the reader stopped.
template <class Request>
using ReadOutcome = std::variant<ParsedRequest<Request>, std::string>;

ReadOutcome<AggregateRequest> readAggregateRequest(std::string_view json);
ReadOutcome<RankingRequest> readRankingRequest(std::string_view json);
ReadOutcome<ThresholdRequest> readThresholdRequest(std::string_view json);

}  // namespace ostrel::vell
