#include "ostrel_core.h"

#include <new>
#include <string>
#include <string_view>
#include <variant>

#include "aggregation/Aggregation.hpp"
#include "lib/ResultText.hpp"
#include "lib/Utf8Check.hpp"
#include "models/RequestReader.hpp"
#include "ranking/Ranking.hpp"
#include "ranking/Thresholds.hpp"

namespace ostrel::vell {
namespace {

// One request: check the bytes, read the record, compute, write. Nothing escapes as an exception.
template <class Read, class Compute>
char* answer(const char* input, Read read, Compute compute) noexcept {
    if (input == nullptr) return errorCString("input pointer was null");
    try {
        const std::string_view text(input);
        if (auto fault = findUtf8Fault(text)) return errorCString("input UTF-8 error: " + *fault);
        auto outcome = read(text);
        if (const auto* fault = std::get_if<std::string>(&outcome)) {
            return errorCString("input JSON parse error: " + *fault);
        }
        const auto& parsed = std::get<0>(outcome);
        return jsonCString(compute(parsed.request));
    } catch (const std::bad_alloc&) {
        return errorCString("out of memory");
    } catch (const std::exception& e) {
        return errorCString(e.what());
    } catch (...) {
        return errorCString("unknown failure");
    }
}

}  // namespace
}  // namespace ostrel::vell

extern "C" {

char* ol_core_aggregate_usage(const char* request_json) {
    using namespace ostrel::vell;
    return answer(request_json, readAggregateRequest, aggregateUsage);
}

char* ol_core_rank_entities(const char* request_json) {
    using namespace ostrel::vell;
    return answer(request_json, readRankingRequest, rankEntities);
}

char* ol_core_evaluate_thresholds(const char* request_json) {
    using namespace ostrel::vell;
    return answer(request_json, readThresholdRequest, evaluateThresholds);
}

void ol_core_free_string(char* text) { ostrel::vell::releaseCString(text); }

}  // extern "C"
