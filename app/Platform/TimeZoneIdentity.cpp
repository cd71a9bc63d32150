#include "Platform/TimeZoneIdentity.hpp"

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace ostrel {
namespace {

// Zone files are a few kilobytes; a TZ naming something else is not read whole.
constexpr std::streamsize fileSizeLimit = 1 << 20;

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> regularFileContent(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > fileSizeLimit) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// FNV-1a, 64 bits, as hexadecimal text.
std::string digest(const std::string& bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// tzdata.zi begins "# version 2025b"; some installations keep a +VERSION file instead.
std::string installedDatabaseVersion(const std::string& zoneinfo) {
    std::ifstream zi(zoneinfo + "/tzdata.zi");
    std::string line;
    if (std::getline(zi, line) && line.starts_with("# version ")) {
        return line.substr(10);
    }
    std::ifstream plain(zoneinfo + "/+VERSION");
    return std::getline(plain, line) ? line : std::string();
}

}  // namespace

TimeZoneIdentity TimeZoneIdentity::current() {
    ::tzset();
    return of(environment("TZ"), environment("TZDIR"), Paths{});
}

// glibc: unset reads /etc/localtime; empty means UTC ("Universal"); a leading ':' is dropped; a
// relative name is looked up under TZDIR, else the zoneinfo folder; what no file answers is a
// POSIX rule or UTC, which the name alone decides.
TimeZoneIdentity TimeZoneIdentity::of(const std::optional<std::string>& tz, const std::optional<std::string>& tzdir,
                                      const Paths& paths) {
    const std::string zoneinfo = tzdir && !tzdir->empty() ? *tzdir : paths.zoneinfo;
    TimeZoneIdentity identity;
    std::string file;
    if (!tz) {
        file = paths.localtime;
        char* resolved = ::realpath(file.c_str(), nullptr);
        identity.name = resolved != nullptr ? resolved : file;
        std::free(resolved);
    } else {
        identity.name = *tz;
        std::string setting = tz->empty() ? "Universal" : *tz;
        if (setting.front() == ':') setting.erase(0, 1);
        if (!setting.empty()) file = setting.front() == '/' ? setting : zoneinfo + "/" + setting;
    }
    identity.databaseVersion = installedDatabaseVersion(zoneinfo);
    if (!file.empty()) {
        if (const auto content = regularFileContent(file)) identity.fileDigest = digest(*content);
    }
    return identity;
}

}  // namespace ostrel
