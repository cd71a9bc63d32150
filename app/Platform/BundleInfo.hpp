#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "Platform/LogSink.hpp"

namespace ostrel {

class BundleInfoError final : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The program's information dictionary: the top-level keys of its Info.json, installed in
// <prefix>/share/ostrel beside the program's bin folder. A program without that file has no
// keys and so no bundle identifier.
class BundleInfo final {
public:
    static constexpr std::size_t sizeLimit = 64 * 1024;
    static constexpr const char* bundleIdentifierKey = "BundleIdentifier";

    BundleInfo() = default;

    // A missing file gives no keys. A file that cannot be read, is not a regular file, is larger
    // than sizeLimit, is not JSON or is not a JSON object throws BundleInfoError.
    static BundleInfo read(const std::string& path);
    static BundleInfo parse(std::string_view json);
    // <folder of the program>/../share/ostrel/Info.json
    static std::string pathForExecutable(const std::string& executablePath);
    // The running program's; a file that cannot be used is logged and gives no keys.
    static BundleInfo forRunningProgram(LogSink& log);

    // Any value counts, whatever its type.
    bool contains(std::string_view key) const;
    // None when the key is missing or its value is not a string.
    std::optional<std::string> string(std::string_view key) const;
    // None unless "BundleIdentifier" is a string that is not empty.
    std::optional<std::string> bundleIdentifier() const;

private:
    // Every key; the text of those whose value is a string.
    std::map<std::string, std::optional<std::string>, std::less<>> values_;
};

}  // namespace ostrel
