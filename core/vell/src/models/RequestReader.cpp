#include "models/RequestReader.hpp"

#include <rapidjson/error/error.h>

#include <cstring>
#include <optional>

#include "models/RequestHandler.hpp"

namespace ostrel::vell {
namespace {

std::string positionText(std::string_view json, std::size_t offset) {
    offset = std::min(offset, json.size());
    std::size_t line = 1;
    std::size_t lineStart = 0;
    for (std::size_t i = 0; i < offset; ++i) {
        if (json[i] == '\n') ++line, lineStart = i + 1;
    }
    return " at line " + std::to_string(line) + " column " + std::to_string(offset - lineStart + 1);
}

// The reader stopped at the start of a count that is not a u64; show what was written.
std::string countFaultText(std::string_view json, std::size_t offset) {
    std::size_t end = offset;
    while (end < json.size() && std::strchr("+-.0123456789eE", json[end]) != nullptr && json[end] != '\0') ++end;
    std::string_view number = json.substr(offset, end - offset);
    const bool floating = number.find_first_of(".eE") != std::string_view::npos;
    std::string shown(number.substr(0, 40));
    if (number.size() > 40) shown += "...";
    if (floating) return "invalid type: floating point `" + shown + "`, expected u64";
    return "invalid value: integer `" + shown + "`, expected u64";
}

std::string syntaxText(rapidjson::ParseErrorCode code, std::string_view json, std::size_t offset) {
    using namespace rapidjson;
    const bool atEnd = offset >= json.size();
    switch (code) {
        case kParseErrorDocumentEmpty:
            return "EOF while parsing a value";
        case kParseErrorDocumentRootNotSingular:
            return "trailing characters";
        case kParseErrorValueInvalid:
            return atEnd ? "EOF while parsing a value" : "expected value";
        case kParseErrorObjectMissName:
            return atEnd ? "EOF while parsing an object" : "key must be a string";
        case kParseErrorObjectMissColon:
            return atEnd ? "EOF while parsing an object" : "expected `:`";
        case kParseErrorObjectMissCommaOrCurlyBracket:
            return atEnd ? "EOF while parsing an object" : "expected `,` or `}`";
        case kParseErrorArrayMissCommaOrSquareBracket:
            return atEnd ? "EOF while parsing a list" : "expected `,` or `]`";
        case kParseErrorStringEscapeInvalid:
            // The reader reports a raw control character in a string as a bad escape.
            if (!atEnd && static_cast<unsigned char>(json[offset]) < 0x20) {
                return "control character (\\u0000-\\u001F) found while parsing a string";
            }
            return "invalid escape";
        case kParseErrorStringUnicodeEscapeInvalidHex:
            return atEnd ? "EOF while parsing a string" : "invalid escape";
        case kParseErrorStringUnicodeSurrogateInvalid:
            return "lone leading surrogate in hex escape";
        case kParseErrorStringMissQuotationMark:
            return "EOF while parsing a string";
        case kParseErrorNumberTooBig:
            return "number out of range";
        case kParseErrorNumberMissFraction:
        case kParseErrorNumberMissExponent:
            return atEnd ? "EOF while parsing a value" : "invalid number";
        default:
            return "syntax error";
    }
}

// Reads `json` into fields; on failure gives the description with its position.
std::optional<std::string> readFields(RequestKind kind, std::string_view json, std::deque<std::string>& decoded,
                                      RequestFields& fields) {
    SpilledString spill;
    InPlaceReadStream stream(json, spill);
    RequestHandler handler(kind, fields, spill, decoded);
    const rapidjson::ParseResult result = handler.read(stream);
    if (!result.IsError()) return std::nullopt;

    const std::size_t offset = result.Offset();
    std::string description;
    if (result.Code() != rapidjson::kParseErrorTermination) {
        description = syntaxText(result.Code(), json, offset);
    } else if (handler.countFault()) {
        description = countFaultText(json, offset);
    } else {
        description = handler.fault();
    }
    return description + positionText(json, offset);
}

template <class Request, class Build>
ReadOutcome<Request> read(RequestKind kind, std::string_view json, Build build) {
    ParsedRequest<Request> parsed;
    RequestFields fields;
    if (kind != RequestKind::threshold) fields.samples.reserve(json.size() / 160);
    if (auto fault = readFields(kind, json, parsed.decoded, fields)) return std::move(*fault);
    parsed.request = build(fields);
    return parsed;
}

}  // namespace

ReadOutcome<AggregateRequest> readAggregateRequest(std::string_view json) {
    return read<AggregateRequest>(RequestKind::aggregate, json, [](RequestFields& f) {
        return AggregateRequest{std::move(f.samples), f.start, f.end, f.bucketSize};
    });
}

ReadOutcome<RankingRequest> readRankingRequest(std::string_view json) {
    return read<RankingRequest>(RequestKind::ranking, json, [](RequestFields& f) {
        return RankingRequest{std::move(f.samples), f.dimension, f.limit};
    });
}

ReadOutcome<ThresholdRequest> readThresholdRequest(std::string_view json) {
    return read<ThresholdRequest>(RequestKind::threshold, json, [](RequestFields& f) {
        return ThresholdRequest{f.totalBytes, f.warningThresholdBytes, f.dangerThresholdBytes};
    });
}

}  // namespace ostrel::vell
