#pragma once

#include <rapidjson/rapidjson.h>
#include <rapidjson/stream.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace ostrel::vell {

// The decoded text of the string just read, when it held escapes.
struct SpilledString {
    bool active = false;
    std::string text;
};

// Decodes the escapes of a JSON string body that the reader has already checked. A lone low
// surrogate is encoded as its three bytes, as the reader itself would write it.
void decodeEscapes(std::string_view body, std::string& out);

// Lets RapidJSON's in-place mode read the caller's text without writing to it and without a copy
// of the whole text. In that mode the reader "writes" each decoded string over its own source; here
// the writes are only counted. A string without escapes decodes to as many bytes as it was written
// with, and is handed over where it stands; a shorter one held escapes and is decoded again into
// the SpilledString. The reader works on copies of the stream, so what the handler must see lives
// in the SpilledString.
class InPlaceReadStream {
public:
    using Ch = char;

    InPlaceReadStream(std::string_view text, SpilledString& spill) : head_(text.data()), src_(text.data()), spill_(&spill) {}

    Ch Peek() const { return *src_; }
    Ch Take() { return *src_++; }
    std::size_t Tell() const { return static_cast<std::size_t>(src_ - head_); }

    Ch* PutBegin() {
        begin_ = src_;
        puts_ = 0;
        // The reader only reads through this pointer, and only when nothing was spilled.
        return const_cast<Ch*>(src_);
    }
    void Put(Ch) { ++puts_; }
    void Flush() {}
    // Called once the closing quote is taken; `puts_` counts the terminating NUL too.
    std::size_t PutEnd(Ch*) {
        const auto written = static_cast<std::size_t>(src_ - 1 - begin_);
        spill_->active = puts_ - 1 != written;
        if (spill_->active) decodeEscapes(std::string_view(begin_, written), spill_->text);
        return puts_;
    }

private:
    const Ch* head_;
    const Ch* src_;
    const Ch* begin_ = nullptr;
    std::size_t puts_ = 0;
    SpilledString* spill_;
};

}  // namespace ostrel::vell

namespace rapidjson {
// Cheap to copy: the reader may keep its position in registers.
template <>
struct StreamTraits<ostrel::vell::InPlaceReadStream> {
    enum { copyOptimization = 1 };
};
}  // namespace rapidjson
