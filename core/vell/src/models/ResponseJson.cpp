#include "models/ResponseJson.hpp"

#include "models/JsonWriter.hpp"

namespace ostrel::vell {
namespace {

std::string_view levelText(AlertLevel level) {
    switch (level) {
        case AlertLevel::normal:
            return "normal";
        case AlertLevel::warning:
            return "warning";
        case AlertLevel::danger:
            return "danger";
    }
    return "normal";
}

}  // namespace

std::string toJson(const AggregateResponse& response) {
    JsonWriter out;
    // Each point takes about 70 bytes; growing once up front saves the repeated copies.
    out.text().reserve(64 + response.points.size() * 72);
    out.beginObject();
    out.key("total_rx_bytes");
    out.unsignedInteger(response.totalRxBytes);
    out.key("total_tx_bytes");
    out.unsignedInteger(response.totalTxBytes);
    out.key("points");
    out.beginArray();
    for (const BucketPoint& point : response.points) {
        out.beginObject();
        out.key("bucket_start");
        out.dateTime(point.bucketStart);
        out.key("rx_bytes");
        out.unsignedInteger(point.rxBytes);
        out.key("tx_bytes");
        out.unsignedInteger(point.txBytes);
        out.endObject();
    }
    out.endArray();
    out.endObject();
    return std::move(out.text());
}

std::string toJson(const RankingResponse& response) {
    JsonWriter out;
    out.beginObject();
    out.key("items");
    out.beginArray();
    for (const RankingItem& item : response.items) {
        out.beginObject();
        out.key("id");
        out.string(item.id);
        out.key("label");
        out.string(item.label);
        out.key("rx_bytes");
        out.unsignedInteger(item.rxBytes);
        out.key("tx_bytes");
        out.unsignedInteger(item.txBytes);
        out.key("total_bytes");
        out.unsignedInteger(item.totalBytes);
        out.key("share");
        out.number(item.share);
        out.endObject();
    }
    out.endArray();
    out.endObject();
    return std::move(out.text());
}

std::string toJson(const ThresholdResponse& response) {
    JsonWriter out;
    out.beginObject();
    out.key("level");
    out.string(levelText(response.level));
    out.key("exceeds_warning");
    out.boolean(response.exceedsWarning);
    out.key("exceeds_danger");
    out.boolean(response.exceedsDanger);
    out.key("usage_ratio");
    out.number(response.usageRatio);
    out.endObject();
    return std::move(out.text());
}

std::string toJson(const ErrorResponse& response) {
    JsonWriter out;
    out.beginObject();
    out.key("error");
    out.string(response.error);
    out.endObject();
    return std::move(out.text());
}

}  // namespace ostrel::vell
