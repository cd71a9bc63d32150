#include "Platform/BundleInfo.hpp"

#include <fcntl.h>
#include <rapidjson/document.h>
#include <rapidjson/error/en.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "Platform/ProgramLocation.hpp"
#include "Platform/UniqueFd.hpp"

namespace ostrel {
namespace {

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
    throw BundleInfoError(path + ": " + reason);
}

// None when nothing exists at `path`.
std::optional<std::string> readSmallFile(const std::string& path) {
    // Not blocking on open: a FIFO in its place must not hang the start.
    const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.valid()) {
        if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
        fail(path, std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) fail(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) fail(path, "not a regular file");
    std::string content;
    char buffer[16384];
    for (;;) {
        const ssize_t count = ::read(fd.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count < 0) fail(path, std::strerror(errno));
        if (count == 0) return content;
        content.append(buffer, static_cast<std::size_t>(count));
        if (content.size() > BundleInfo::sizeLimit) {
            fail(path, "larger than " + std::to_string(BundleInfo::sizeLimit) + " bytes");
        }
    }
}

}  // namespace

BundleInfo BundleInfo::read(const std::string& path) {
    const auto content = readSmallFile(path);
    if (!content) return {};
    try {
        return parse(*content);
    } catch (const BundleInfoError& error) {
        fail(path, error.what());
    }
}

BundleInfo BundleInfo::parse(std::string_view json) {
    if (json.size() > sizeLimit) throw BundleInfoError("larger than " + std::to_string(sizeLimit) + " bytes");
    rapidjson::Document document;
    // Iterative, so that deep nesting cannot exhaust the stack.
    document.Parse<rapidjson::kParseValidateEncodingFlag | rapidjson::kParseIterativeFlag>(json.data(), json.size());
    if (document.HasParseError()) {
        throw BundleInfoError("not valid JSON at offset " + std::to_string(document.GetErrorOffset()) + ": " +
                              rapidjson::GetParseError_En(document.GetParseError()));
    }
    if (!document.IsObject()) throw BundleInfoError("not a JSON object");
    BundleInfo info;
    // Counted rather than compared: the member iterator's comparison is ambiguous in C++20.
    auto member = document.MemberBegin();
    for (rapidjson::SizeType i = 0; i < document.MemberCount(); ++i, ++member) {
        std::string key(member->name.GetString(), member->name.GetStringLength());
        std::optional<std::string> text;
        if (member->value.IsString()) text.emplace(member->value.GetString(), member->value.GetStringLength());
        // The first of repeated keys counts.
        info.values_.emplace(std::move(key), std::move(text));
    }
    return info;
}

std::string BundleInfo::pathForExecutable(const std::string& executablePath) {
    return (std::filesystem::path(executablePath).parent_path() / ".." / "share" / "ostrel" / "Info.json").string();
}

BundleInfo BundleInfo::forRunningProgram(LogSink& log) {
    const auto executable = currentExecutablePath();
    if (executable.empty()) return {};
    try {
        return read(pathForExecutable(executable));
    } catch (const BundleInfoError& error) {
        log.log(std::string("Ignoring the bundle information: ") + error.what());
        return {};
    }
}

bool BundleInfo::contains(std::string_view key) const {
    return values_.find(key) != values_.end();
}

std::optional<std::string> BundleInfo::string(std::string_view key) const {
    const auto found = values_.find(key);
    return found == values_.end() ? std::nullopt : found->second;
}

std::optional<std::string> BundleInfo::bundleIdentifier() const {
    auto identifier = string(bundleIdentifierKey);
    if (identifier && identifier->empty()) return std::nullopt;
    return identifier;
}

}  // namespace ostrel
