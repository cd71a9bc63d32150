#include "Services/SecondsText.hpp"

#include <charconv>

namespace ostrel {

std::string secondsSince1970Text(Date date) {
    using namespace std::chrono;
    // Whole seconds and the fraction apart, so that the sum is rounded to a double only once.
    const auto whole = floor<seconds>(date);
    const double value =
        static_cast<double>(whole.time_since_epoch().count()) + static_cast<double>((date - whole).count()) / 1e9;
    char buffer[64];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed).ptr;
    std::string text(buffer, end);
    if (text.find('.') == std::string::npos) text += ".0";
    return text;
}

}  // namespace ostrel
