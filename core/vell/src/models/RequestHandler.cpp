#include "models/RequestHandler.hpp"

#include <rapidjson/reader.h>

#include <cstring>
#include <utility>

#include "models/DateTimeText.hpp"
#include "models/JsonWriter.hpp"

namespace ostrel::vell {
namespace {

constexpr std::string_view kDateTimeExpected = "an RFC 3339 formatted date and time string";
constexpr std::size_t kQuotedTextLimit = 40;

// A \uDC00-\uDFFF escape without a leading surrogate decodes to ED A0..BF, which is not UTF-8.
bool holdsLoneSurrogate(const char* text, std::size_t length) {
    const char* end = text + length;
    for (const char* p = text; (p = static_cast<const char*>(std::memchr(p, '\xED', static_cast<std::size_t>(end - p))));
         ++p) {
        if (p + 1 < end && static_cast<unsigned char>(p[1]) >= 0xA0) return true;
    }
    return false;
}

// Cuts at a character boundary so that a quoted excerpt stays UTF-8.
std::string_view excerpt(std::string_view text) {
    if (text.size() <= kQuotedTextLimit) return text;
    std::size_t cut = kQuotedTextLimit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    return text.substr(0, cut);
}

}  // namespace

rapidjson::ParseResult RequestHandler::read(InPlaceReadStream& stream) {
    // Strict JSON: no comments, trailing commas, NaN or Infinity. In place: see InPlaceReadStream.
    rapidjson::Reader reader;
    return reader.Parse<rapidjson::kParseInsituFlag>(stream, *this);
}

bool RequestHandler::fail(std::string description) {
    fault_ = std::move(description);
    return false;
}

bool RequestHandler::typeFault(const Value& found, std::string_view expected) {
    std::string text = "invalid type: ";
    switch (found.kind) {
        case Kind::null:
            text += "null";
            break;
        case Kind::boolean:
            text += found.flag ? "boolean `true`" : "boolean `false`";
            break;
        case Kind::unsignedInt:
            text += "integer `" + std::to_string(found.number) + "`";
            break;
        case Kind::negativeInt:
            text += "integer `-" + std::to_string(found.number) + "`";
            break;
        case Kind::floating:
            text += "floating point `";
            appendNumber(text, found.real);
            text += "`";
            break;
        case Kind::string: {
            const std::string_view shown = excerpt(found.text);
            text += "string \"";
            text += shown;
            text += shown.size() < found.text.size() ? "...\"" : "\"";
            break;
        }
        case Kind::object:
            text += "map";
            break;
        case Kind::array:
            text += "sequence";
            break;
    }
    text += ", expected ";
    text += expected;
    return fail(std::move(text));
}

bool RequestHandler::Null() { return onValue(Value(Kind::null)); }

bool RequestHandler::Bool(bool value) {
    Value v(Kind::boolean);
    v.flag = value;
    return onValue(v);
}

bool RequestHandler::Int(int value) { return Int64(value); }

bool RequestHandler::Int64(std::int64_t value) {
    // The reader hands "-0" over as a signed zero; it is the count 0.
    if (value >= 0) return unsignedValue(static_cast<std::uint64_t>(value));
    Value v(Kind::negativeInt);
    v.number = static_cast<std::uint64_t>(-(value + 1)) + 1;
    return onValue(v);
}

bool RequestHandler::Double(double value) {
    Value v(Kind::floating);
    v.real = value;
    return onValue(v);
}

bool RequestHandler::String(const char* text, SizeType length, bool) {
    if (skipDepth_ > 0 || skipNext_) return onValue(Value(Kind::null));
    Value v(Kind::string);
    v.text = std::string_view(text, length);
    if (spill_.active) {
        v.text = decoded_.emplace_back(spill_.text);
        // The request's bytes are UTF-8, but an escape can still decode to a lone low surrogate.
        if (holdsLoneSurrogate(v.text.data(), v.text.size())) return fail("lone surrogate in hex escape");
    }
    return onValue(v);
}

bool RequestHandler::enterContainer() {
    if (++depth_ > kMaxDepth) return fail("recursion limit exceeded");
    return true;
}

bool RequestHandler::StartObject() {
    if (!enterContainer()) return false;
    if (skipDepth_ > 0) return ++skipDepth_, true;
    return onValue(Value(Kind::object));
}

bool RequestHandler::StartArray() {
    if (!enterContainer()) return false;
    if (skipDepth_ > 0) return ++skipDepth_, true;
    return onValue(Value(Kind::array));
}

bool RequestHandler::Key(const char* text, SizeType length, bool) {
    if (skipDepth_ > 0) return true;
    const std::string_view key = spill_.active ? std::string_view(spill_.text) : std::string_view(text, length);
    const bool inSample = level_ == Level::sample;
    const Field field = inSample ? sampleField(key) : requestField(kind_, key);
    if (field == Field::unknown) {
        skipNext_ = true;
        return true;
    }
    std::uint32_t& seen = inSample ? sampleSeen_ : requestSeen_;
    if ((seen & bit(field)) != 0) return fail("duplicate field `" + std::string(key) + "`");
    seen |= bit(field);
    pending_ = field;
    return true;
}

bool RequestHandler::EndObject(SizeType) {
    --depth_;
    if (skipDepth_ > 0) return --skipDepth_, true;
    const bool inSample = level_ == Level::sample;
    const std::uint32_t required = inSample ? kRequiredSampleFields : requiredRequestFields(kind_);
    const std::uint32_t missing = required & ~(inSample ? sampleSeen_ : requestSeen_);
    if (missing != 0) {
        for (unsigned i = 0; i < static_cast<unsigned>(Field::unknown); ++i) {
            if ((missing & (1u << i)) != 0) {
                return fail("missing field `" + std::string(fieldName(static_cast<Field>(i))) + "`");
            }
        }
    }
    level_ = inSample ? Level::samples : Level::done;
    return true;
}

bool RequestHandler::EndArray(SizeType) {
    --depth_;
    if (skipDepth_ > 0) return --skipDepth_, true;
    level_ = Level::request;  // only the samples array is read as a record's array
    return true;
}

bool RequestHandler::onValue(const Value& value) {
    if (skipDepth_ > 0) return true;
    if (skipNext_) {
        skipNext_ = false;
        if (value.kind == Kind::object || value.kind == Kind::array) skipDepth_ = 1;
        return true;
    }
    switch (level_) {
        case Level::root:
            if (value.kind != Kind::object) return typeFault(value, recordName(kind_));
            level_ = Level::request;
            return true;
        case Level::request:
            return requestValue(pending_, value);
        case Level::samples:
            if (value.kind != Kind::object) return typeFault(value, "struct UsageSample");
            out_.samples.emplace_back();
            sampleSeen_ = 0;
            level_ = Level::sample;
            return true;
        case Level::sample:
            return sampleValue(pending_, value);
        case Level::done:
            break;
    }
    return fail("trailing characters");
}

bool RequestHandler::requestValue(Field field, const Value& value) {
    switch (field) {
        case Field::samples:
            if (value.kind != Kind::array) return typeFault(value, "a sequence");
            level_ = Level::samples;
            return true;
        case Field::start:
            return dateTime(value, out_.start);
        case Field::end:
            return dateTime(value, out_.end);
        case Field::bucketSize: {
            constexpr std::string_view expected = "one of `five_minutes`, `hour`, `day`";
            if (value.kind != Kind::string) return typeFault(value, expected);
            if (value.text == "five_minutes") return out_.bucketSize = BucketSize::fiveMinutes, true;
            if (value.text == "hour") return out_.bucketSize = BucketSize::hour, true;
            if (value.text == "day") return out_.bucketSize = BucketSize::day, true;
            return fail("unknown variant `" + std::string(excerpt(value.text)) + "`, expected " + std::string(expected));
        }
        case Field::dimension: {
            constexpr std::string_view expected = "`network` or `application`";
            if (value.kind != Kind::string) return typeFault(value, expected);
            if (value.text == "network") return out_.dimension = RankingDimension::network, true;
            if (value.text == "application") return out_.dimension = RankingDimension::application, true;
            return fail("unknown variant `" + std::string(excerpt(value.text)) + "`, expected " + std::string(expected));
        }
        case Field::limit:
            return count(value, out_.limit);
        case Field::totalBytes:
            return count(value, out_.totalBytes);
        case Field::warningThresholdBytes:
            return count(value, out_.warningThresholdBytes);
        case Field::dangerThresholdBytes:
            return count(value, out_.dangerThresholdBytes);
        default:
            return fail("unexpected value");
    }
}

bool RequestHandler::sampleValue(Field field, const Value& value) {
    UsageSample& sample = out_.samples.back();
    switch (field) {
        case Field::timestamp:
            return dateTime(value, sample.timestamp);
        case Field::networkId:
            return identifier(value, sample.networkId);
        case Field::appId:
            return identifier(value, sample.appId);
        case Field::networkName:
        case Field::appName: {
            auto& name = field == Field::networkName ? sample.networkName : sample.appName;
            if (value.kind == Kind::null) return name.reset(), true;
            if (value.kind != Kind::string) return typeFault(value, "a string or null");
            name = value.text;
            return true;
        }
        case Field::rxBytes:
            return count(value, sample.rxBytes);
        case Field::txBytes:
            return count(value, sample.txBytes);
        default:
            return fail("unexpected value");
    }
}

bool RequestHandler::count(const Value& value, std::uint64_t& into) {
    if (value.kind == Kind::unsignedInt) return into = value.number, true;
    if (value.kind == Kind::negativeInt || value.kind == Kind::floating) {
        countFault_ = true;
        return false;
    }
    return typeFault(value, "u64");
}

bool RequestHandler::dateTime(const Value& value, Timestamp& into) {
    if (value.kind != Kind::string) return typeFault(value, kDateTimeExpected);
    const auto result = readDateTime(value.text);
    if (const auto* fault = std::get_if<DateTimeFault>(&result)) return fail(std::string(describe(*fault)));
    into = std::get<Timestamp>(result);
    return true;
}

bool RequestHandler::identifier(const Value& value, std::string_view& into) {
    if (value.kind != Kind::string) return typeFault(value, "a string");
    into = value.text;
    return true;
}

}  // namespace ostrel::vell
