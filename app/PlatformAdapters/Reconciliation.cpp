#include "PlatformAdapters/Reconciliation.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "Model/SaturatingAdd.hpp"

namespace ostrel::reconciliation {
namespace {

using Limits = std::numeric_limits<std::int64_t>;

std::int64_t truncated(double value) {
    if (std::isnan(value)) {
        return 0;
    }
    if (value >= 9223372036854775807.0) {
        return Limits::max();
    }
    if (value <= -9223372036854775808.0) {
        return Limits::min();
    }
    return static_cast<std::int64_t>(value);
}

std::int64_t directionValue(const AppUsageAttribution& attribution, Direction direction) {
    return direction == Direction::receive ? attribution.rxBytes : attribution.txBytes;
}

std::vector<double> normalized(std::vector<double> weights) {
    double sum = 0;
    for (double weight : weights) {
        sum += weight;
    }
    if (!(sum > 0)) {
        return {};
    }
    for (double& weight : weights) {
        weight /= sum;
    }
    return weights;
}

}  // namespace

std::vector<double> attributionWeights(const std::vector<AppUsageAttribution>& attributions, Direction preferDirection) {
    if (attributions.empty()) {
        return {};
    }
    std::vector<double> preferred;
    preferred.reserve(attributions.size());
    for (const auto& attribution : attributions) {
        preferred.push_back(static_cast<double>(std::max<std::int64_t>(directionValue(attribution, preferDirection), 0)));
    }
    if (auto weights = normalized(std::move(preferred)); !weights.empty()) {
        return weights;
    }
    std::vector<double> combined;
    combined.reserve(attributions.size());
    for (const auto& attribution : attributions) {
        combined.push_back(
            static_cast<double>(std::max<std::int64_t>(saturatingAdd(attribution.rxBytes, attribution.txBytes), 0)));
    }
    if (auto weights = normalized(std::move(combined)); !weights.empty()) {
        return weights;
    }
    return std::vector<double>(attributions.size(), 1.0 / static_cast<double>(attributions.size()));
}

std::vector<std::int64_t> distribute(std::int64_t targetTotal, const std::vector<std::int64_t>& sourceValues,
                                     std::int64_t sourceTotal, const std::vector<double>& fallbackWeights) {
    std::vector<std::int64_t> parts(sourceValues.size(), 0);
    if (parts.empty() || targetTotal < 1) {
        return parts;
    }
    if (sourceTotal < 1) {
        for (std::size_t i = 0; i < parts.size(); ++i) {
            const double weight = i < fallbackWeights.size() ? fallbackWeights[i] : 0.0;
            parts[i] = truncated(weight * static_cast<double>(targetTotal));
        }
    } else {
        const double ratio = static_cast<double>(targetTotal) / static_cast<double>(sourceTotal);
        for (std::size_t i = 0; i < parts.size(); ++i) {
            parts[i] = truncated(ratio * static_cast<double>(sourceValues[i]));
        }
    }
    std::int64_t assigned = 0;
    for (std::int64_t part : parts) {
        assigned = saturatingAdd(assigned, part);
    }
    std::int64_t remainder = 0;
    if (__builtin_sub_overflow(targetTotal, assigned, &remainder)) {
        remainder = assigned < 0 ? Limits::max() : Limits::min();
    }
    if (remainder == 0) {
        return parts;
    }
    std::size_t largest = 0;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] > parts[largest]) {
            largest = i;
        }
    }
    parts[largest] = std::max<std::int64_t>(saturatingAdd(parts[largest], remainder), 0);
    return parts;
}

std::vector<AppUsageAttribution> normalize(const std::vector<AppUsageAttribution>& attributions, std::int64_t totalRx,
                                           std::int64_t totalTx) {
    if (attributions.empty()) {
        return {};
    }
    std::int64_t rxSource = 0;
    std::int64_t txSource = 0;
    std::vector<std::int64_t> rxValues, txValues;
    rxValues.reserve(attributions.size());
    txValues.reserve(attributions.size());
    for (const auto& attribution : attributions) {
        rxValues.push_back(std::max<std::int64_t>(attribution.rxBytes, 0));
        txValues.push_back(std::max<std::int64_t>(attribution.txBytes, 0));
        rxSource = saturatingAdd(rxSource, rxValues.back());
        txSource = saturatingAdd(txSource, txValues.back());
    }
    const auto rxParts = distribute(std::max<std::int64_t>(totalRx, 0), rxValues, rxSource,
                                    attributionWeights(attributions, Direction::receive));
    const auto txParts = distribute(std::max<std::int64_t>(totalTx, 0), txValues, txSource,
                                    attributionWeights(attributions, Direction::send));
    std::vector<AppUsageAttribution> result = attributions;
    for (std::size_t i = 0; i < result.size(); ++i) {
        result[i].rxBytes = rxParts[i];
        result[i].txBytes = txParts[i];
    }
    return result;
}

}  // namespace ostrel::reconciliation
