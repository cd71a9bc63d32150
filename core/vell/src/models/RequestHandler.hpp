#pragma once

#include <rapidjson/error/error.h>
#include <rapidjson/rapidjson.h>

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "models/InPlaceReadStream.hpp"
#include "models/RequestFields.hpp"

namespace ostrel::vell {

// RapidJSON SAX handler that reads one request into typed fields. It stops the reader (returns
// false) at the first fault and keeps its description; a count given as a negative, fractional
// or oversized number is only flagged, because the reader knows where its text lies.
class RequestHandler final {
public:
    using SizeType = rapidjson::SizeType;
    static constexpr int kMaxDepth = 128;

    // Strings written without escapes stay views of the text that `stream` reads (the caller's, alive
    // for the whole call); strings with escapes are kept in `decoded`.
    RequestHandler(RequestKind kind, RequestFields& out, const SpilledString& spill, std::deque<std::string>& decoded)
        : kind_(kind), out_(out), spill_(spill), decoded_(decoded) {}

    bool Null();
    bool Bool(bool value);
    bool Int(int value);
    bool Uint(unsigned value) { return unsignedValue(value); }
    bool Int64(std::int64_t value);
    bool Uint64(std::uint64_t value) { return unsignedValue(value); }
    bool Double(double value);
    bool RawNumber(const char*, SizeType, bool) { return fail("unexpected raw number"); }
    bool String(const char* text, SizeType length, bool copy);
    bool StartObject();
    bool Key(const char* text, SizeType length, bool copy);
    bool EndObject(SizeType memberCount);
    bool StartArray();
    bool EndArray(SizeType elementCount);

    // Runs RapidJSON's reader over the stream with this handler (here, so that the events inline).
    rapidjson::ParseResult read(InPlaceReadStream& stream);

    const std::string& fault() const { return fault_; }
    bool countFault() const { return countFault_; }

private:
    enum class Level { root, request, samples, sample, done };
    enum class Kind { null, boolean, unsignedInt, negativeInt, floating, string, object, array };
    struct Value {
        explicit Value(Kind k) : kind(k) {}
        Kind kind;
        std::uint64_t number = 0;
        std::string_view text;
        bool flag = false;
        double real = 0.0;
    };

    bool unsignedValue(std::uint64_t value) {
        Value v(Kind::unsignedInt);
        v.number = value;
        return onValue(v);
    }
    bool onValue(const Value& value);
    bool requestValue(Field field, const Value& value);
    bool sampleValue(Field field, const Value& value);
    bool count(const Value& value, std::uint64_t& into);
    bool dateTime(const Value& value, Timestamp& into);
    bool identifier(const Value& value, std::string_view& into);
    bool enterContainer();
    bool typeFault(const Value& found, std::string_view expected);
    bool fail(std::string description);

    RequestKind kind_;
    RequestFields& out_;
    const SpilledString& spill_;
    std::deque<std::string>& decoded_;
    Level level_ = Level::root;
    Field pending_ = Field::unknown;
    bool skipNext_ = false;  // the next value belongs to an unknown key
    int skipDepth_ = 0;      // open containers of a value being skipped
    int depth_ = 0;
    std::uint32_t requestSeen_ = 0;
    std::uint32_t sampleSeen_ = 0;
    std::string fault_;
    bool countFault_ = false;
};

}  // namespace ostrel::vell
