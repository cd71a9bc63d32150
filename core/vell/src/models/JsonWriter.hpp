#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "models/Timestamp.hpp"

namespace ostrel::vell {

// Compact JSON text: no white space; the caller writes keys in record order.
class JsonWriter final {
public:
    void beginObject() { separate(), out_.push_back('{'), first_ = true; }
    void endObject() { out_.push_back('}'), first_ = false; }
    void beginArray() { separate(), out_.push_back('['), first_ = true; }
    void endArray() { out_.push_back(']'), first_ = false; }
    void key(std::string_view name);

    void string(std::string_view value);
    void unsignedInteger(std::uint64_t value);
    void boolean(bool value);
    void number(double value);
    void dateTime(Timestamp value);

    std::string& text() { return out_; }

private:
    void separate();

    std::string out_;
    bool first_ = true;
    bool afterKey_ = false;
};

// Shortest round-trip digits; plain from 1e-5 to below 1e16 (whole numbers end in ".0"), else
// d[.ddd]e±x. Non-finite values are written as null.
void appendNumber(std::string& out, double value);

}  // namespace ostrel::vell
