#pragma once

#include <exception>
#include <string>
#include <string_view>

#include "models/ResponseJson.hpp"

namespace ostrel::vell {

// Texts handed to the caller: malloc'd, NUL-terminated, released by releaseCString. When even an
// error object cannot be allocated, a fixed text stands in, which releaseCString leaves alone.
char* errorCString(std::string_view message) noexcept;
char* copyCString(const std::string& text);  // throws std::bad_alloc
void releaseCString(char* text) noexcept;

template <class Response>
char* jsonCString(const Response& response) noexcept {
    try {
        return copyCString(toJson(response));
    } catch (const std::exception& e) {
        return errorCString(std::string("failed to serialize response: ") + e.what());
    } catch (...) {
        return errorCString("failed to serialize response: unknown failure");
    }
}

}  // namespace ostrel::vell
