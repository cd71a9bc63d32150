// Any input gives a well-formed answer: a response of the entry point's shape or an error object.
#include <rapidjson/reader.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ostrel_core.h"

namespace {

#if defined(OSTREL_FUZZ_ENTRY_aggregate)
constexpr auto kEntry = ol_core_aggregate_usage;
constexpr const char* kFirstKey = "total_rx_bytes";
#elif defined(OSTREL_FUZZ_ENTRY_rank)
constexpr auto kEntry = ol_core_rank_entities;
constexpr const char* kFirstKey = "items";
#else
constexpr auto kEntry = ol_core_evaluate_thresholds;
constexpr const char* kFirstKey = "level";
#endif

// Reads the answer in place: RapidJSON's value stack starts as a null pointer, and its first push
// is pointer arithmetic on null, which UBSan reports; decoding in place never pushes.
struct AnswerShape : rapidjson::BaseReaderHandler<rapidjson::UTF8<>, AnswerShape> {
    int depth = 0;
    int topKeys = 0;
    std::string firstKey;
    bool errorValueNext = false;
    bool errorIsString = false;

    bool Default() { return errorValueNext = false, true; }
    bool String(const char*, rapidjson::SizeType, bool) {
        errorIsString = errorIsString || errorValueNext;
        return Default();
    }
    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (depth == 1 && topKeys++ == 0) firstKey.assign(text, length);
        errorValueNext = depth == 1 && topKeys == 1 && firstKey == "error";
        return true;
    }
    bool StartObject() { return ++depth, Default(); }
    bool EndObject(rapidjson::SizeType) { return --depth, true; }
    bool StartArray() { return ++depth, Default(); }
    bool EndArray(rapidjson::SizeType) { return --depth, true; }
};

bool wellFormed(const char* answer) {
    std::string copy(answer);
    rapidjson::InsituStringStream stream(copy.data());
    AnswerShape shape;
    rapidjson::Reader reader;
    if (reader.Parse<rapidjson::kParseInsituFlag | rapidjson::kParseValidateEncodingFlag>(stream, shape).IsError()) {
        return false;
    }
    if (shape.firstKey == "error") return shape.topKeys == 1 && shape.errorIsString;
    return shape.firstKey == kFirstKey;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The C interface reads up to the first NUL, as every caller's text ends there.
    const std::string request(reinterpret_cast<const char*>(data), size);
    char* answer = kEntry(request.c_str());
    if (answer == nullptr || !wellFormed(answer)) std::abort();
    ol_core_free_string(answer);
    return 0;
}
