#include "Services/VellCoreJson.hpp"

#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstring>

#include "Model/Enums.hpp"
#include "Model/Iso8601.hpp"
#include "Platform/Utf8.hpp"

namespace ostrel::vellcore {
namespace {

// Requests carry every sample of a day, so the writer works on raw bytes: each sample makes
// room for its longest possible text once, then writes without further checks.
class RequestWriter {
public:
    explicit RequestWriter(std::string& text) : text_(text), size_(text.size()) {}
    ~RequestWriter() { text_.resize(size_); }
    RequestWriter(const RequestWriter&) = delete;
    RequestWriter& operator=(const RequestWriter&) = delete;

    // Room for `count` more bytes.
    void reserve(std::size_t count) {
        if (text_.size() < size_ + count) {
            text_.resize(size_ + count);  // the string's own capacity grows geometrically
        }
        at_ = text_.data() + size_;
    }
    // Ends a stretch written since reserve().
    void commit() { size_ = static_cast<std::size_t>(at_ - text_.data()); }

    void raw(std::string_view bytes) {
        std::memcpy(at_, bytes.data(), bytes.size());
        at_ += bytes.size();
    }

    // A JSON string; false when the bytes are not UTF-8. Control characters are written as
    // \u00XX, which every JSON reader takes.
    bool string(std::string_view value) {
        *at_++ = '"';
        unsigned char seen = 0;
        for (const char c : value) {
            const auto byte = static_cast<unsigned char>(c);
            seen |= byte;
            if (byte < 0x20) {
                raw("\\u00");
                *at_++ = "0123456789abcdef"[byte >> 4];
                *at_++ = "0123456789abcdef"[byte & 0xF];
                continue;
            }
            if (c == '"' || c == '\\') {
                *at_++ = '\\';
            }
            *at_++ = c;
        }
        *at_++ = '"';
        return (seen & 0x80) == 0 || isValidUtf8(value);
    }
    bool field(std::string_view key, std::string_view value) {
        raw(key);
        return string(value);
    }

    void integer(std::int64_t value) { at_ = std::to_chars(at_, at_ + kMaxInteger, value).ptr; }

    // "2024-03-01T10:15:30Z": the fraction is dropped. Date holds years 1677 to 2262 only.
    void date(Date value) {
        using namespace std::chrono;
        const auto second = floor<seconds>(value);
        const auto day = floor<days>(second);
        const year_month_day ymd{day};
        const auto time = static_cast<unsigned>((second - day).count());
        const auto year = static_cast<unsigned>(static_cast<int>(ymd.year()));
        *at_++ = '"';
        twoDigits(year / 100);
        twoDigits(year % 100);
        *at_++ = '-';
        twoDigits(static_cast<unsigned>(ymd.month()));
        *at_++ = '-';
        twoDigits(static_cast<unsigned>(ymd.day()));
        *at_++ = 'T';
        twoDigits(time / 3600);
        *at_++ = ':';
        twoDigits(time / 60 % 60);
        *at_++ = ':';
        twoDigits(time % 60);
        *at_++ = 'Z';
        *at_++ = '"';
    }

    static constexpr std::size_t kMaxInteger = 20;  // -9223372036854775808
    static constexpr std::size_t kMaxDate = 22;
    // The longest escape of one byte, \u00XX.
    static constexpr std::size_t kMaxEscaped = 6;

private:
    void twoDigits(unsigned value) {
        *at_++ = static_cast<char>('0' + value / 10);
        *at_++ = static_cast<char>('0' + value % 10);
    }

    std::string& text_;
    std::size_t size_;
    char* at_ = nullptr;
};

// The keys and punctuation of one sample, without its values.
constexpr std::size_t kSampleFrame = sizeof(
    ",{\"timestamp\":,\"network_id\":\"\",\"network_name\":\"\",\"app_id\":\"\",\"app_name\":\"\","
    "\"rx_bytes\":,\"tx_bytes\":}");

std::string_view bucketText(VellBucketSize size) {
    switch (size) {
        case VellBucketSize::fiveMinutes:
            return "\"five_minutes\"";
        case VellBucketSize::hour:
            return "\"hour\"";
        case VellBucketSize::day:
            break;
    }
    return "\"day\"";
}

// Reads a field through `take`, which checks its type and keeps its value.
template <class Take>
bool field(const rapidjson::Value& object, const char* name, Take take) {
    const auto found = object.FindMember(name);
    return found != object.MemberEnd() && take(found->value);
}

// Integers only: 1.0, 1e3 and counts beyond the signed 64-bit range are refused.
bool read(const rapidjson::Value& object, const char* name, std::int64_t& value) {
    return field(object, name, [&](const auto& v) { return v.IsInt64() && (value = v.GetInt64(), true); });
}
bool read(const rapidjson::Value& object, const char* name, double& value) {
    return field(object, name, [&](const auto& v) { return v.IsNumber() && (value = v.GetDouble(), true); });
}
bool read(const rapidjson::Value& object, const char* name, bool& value) {
    return field(object, name, [&](const auto& v) { return v.IsBool() && (value = v.GetBool(), true); });
}
bool read(const rapidjson::Value& object, const char* name, std::string& value) {
    return field(object, name, [&](const auto& v) {
        return v.IsString() && (value.assign(v.GetString(), v.GetStringLength()), true);
    });
}
// Internet date-time without a fraction.
bool read(const rapidjson::Value& object, const char* name, Date& value) {
    return field(object, name, [&](const auto& v) {
        const auto date =
            v.IsString() ? iso8601DateWithoutFraction({v.GetString(), v.GetStringLength()}) : std::nullopt;
        return date && (value = *date, true);
    });
}
bool read(const rapidjson::Value& object, const char* name, const rapidjson::Value*& array) {
    return field(object, name, [&](const auto& v) { return v.IsArray() && (array = &v, true); });
}

}  // namespace

bool appendSamples(std::string& text, std::span<const UsageSampleRecord> samples) {
    // Room for all but escapes at once, so that the text grows at most a few times.
    std::size_t texts = 0;
    for (const UsageSampleRecord& sample : samples) {
        texts += sample.networkID.size() + sample.networkName.size() + sample.appID.size() + sample.appName.size();
    }
    RequestWriter out(text);
    out.reserve(16 + texts +
                samples.size() * (kSampleFrame + RequestWriter::kMaxDate + 2 * RequestWriter::kMaxInteger));
    out.raw("{\"samples\":[");
    out.commit();
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const UsageSampleRecord& sample = samples[i];
        const std::size_t sampleTexts =
            sample.networkID.size() + sample.networkName.size() + sample.appID.size() + sample.appName.size();
        out.reserve(kSampleFrame + RequestWriter::kMaxDate + sampleTexts * RequestWriter::kMaxEscaped +
                    2 * RequestWriter::kMaxInteger);
        if (i > 0) {
            out.raw(",");
        }
        out.raw("{\"timestamp\":");
        out.date(sample.timestamp);
        if (!(out.field(",\"network_id\":", sample.networkID) && out.field(",\"network_name\":", sample.networkName) &&
              out.field(",\"app_id\":", sample.appID) && out.field(",\"app_name\":", sample.appName))) {
            return false;
        }
        out.raw(",\"rx_bytes\":");
        out.integer(sample.rxBytes);
        out.raw(",\"tx_bytes\":");
        out.integer(sample.txBytes);
        out.raw("}");
        out.commit();
    }
    out.reserve(1);
    out.raw("]");
    out.commit();
    return true;
}

void appendAggregateFields(std::string& text, const DateRange& range, VellBucketSize bucketSize) {
    RequestWriter out(text);
    out.reserve(96);
    out.raw(",\"start\":");
    out.date(range.start);
    out.raw(",\"end\":");
    out.date(range.end);
    out.raw(",\"bucket_size\":");
    out.raw(bucketText(bucketSize));
    out.raw("}");
    out.commit();
}

void appendRankFields(std::string& text, VellRankingDimension dimension, std::int64_t limit) {
    RequestWriter out(text);
    out.reserve(64);
    out.raw(dimension == VellRankingDimension::network ? ",\"dimension\":\"network\",\"limit\":"
                                                       : ",\"dimension\":\"application\",\"limit\":");
    out.integer(limit);
    out.raw("}");
    out.commit();
}

std::string thresholdRequest(std::int64_t totalBytes, std::int64_t warning, std::int64_t danger) {
    return "{\"total_bytes\":" + std::to_string(totalBytes) +
           ",\"warning_threshold_bytes\":" + std::to_string(warning) +
           ",\"danger_threshold_bytes\":" + std::to_string(danger) + "}";
}

std::string utf8Repaired(std::string_view text) {
    // U+FFFD for each byte that starts no character.
    return isValidUtf8(text) ? std::string(text) : ostrel::utf8Repaired(text, "\xEF\xBF\xBD");
}

std::optional<std::string> errorMessage(const rapidjson::Value& answer) {
    std::string message;
    if (!answer.IsObject() || !read(answer, "error", message)) {
        return std::nullopt;
    }
    return message;
}

std::optional<VellAggregation> readAggregation(const rapidjson::Value& answer) {
    VellAggregation result;
    const rapidjson::Value* points = nullptr;
    if (!answer.IsObject() || !read(answer, "total_rx_bytes", result.summary.rxBytes) ||
        !read(answer, "total_tx_bytes", result.summary.txBytes) || !read(answer, "points", points)) {
        return std::nullopt;
    }
    result.trend.reserve(points->Size());
    for (const auto& object : points->GetArray()) {
        TrendPoint& point = result.trend.emplace_back();
        if (!object.IsObject() || !read(object, "bucket_start", point.timestamp) ||
            !read(object, "rx_bytes", point.rxBytes) || !read(object, "tx_bytes", point.txBytes)) {
            return std::nullopt;
        }
    }
    return result;
}

std::optional<std::vector<RankedUsage>> readRanking(const rapidjson::Value& answer) {
    const rapidjson::Value* items = nullptr;
    if (!answer.IsObject() || !read(answer, "items", items)) {
        return std::nullopt;
    }
    std::vector<RankedUsage> result;
    result.reserve(items->Size());
    for (const auto& item : items->GetArray()) {
        RankedUsage& row = result.emplace_back();
        if (!item.IsObject() || !read(item, "id", row.id) || !read(item, "label", row.title) ||
            !read(item, "rx_bytes", row.rxBytes) || !read(item, "tx_bytes", row.txBytes) ||
            !read(item, "share", row.share)) {
            return std::nullopt;
        }
    }
    return result;
}

std::optional<ThresholdEvaluation> readThreshold(const rapidjson::Value& answer) {
    ThresholdEvaluation result;
    std::string level;
    if (!answer.IsObject() || !read(answer, "level", level) ||
        !read(answer, "exceeds_warning", result.exceedsWarning) ||
        !read(answer, "exceeds_danger", result.exceedsDanger) || !read(answer, "usage_ratio", result.usageRatio)) {
        return std::nullopt;
    }
    const auto parsed = alertLevelFromRaw(level);
    if (!parsed) {
        return std::nullopt;
    }
    result.level = *parsed;
    return result;
}

}  // namespace ostrel::vellcore
