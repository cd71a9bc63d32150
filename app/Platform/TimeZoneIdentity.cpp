#include "Platform/TimeZoneIdentity.hpp"

#include <sys/stat.h>
#include <time.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

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
std::string digest(std::string_view bytes) {
    std::uint64_t hash = 14695981039346656037ull;
    for (const unsigned char byte : bytes) {
        hash = (hash ^ byte) * 1099511628211ull;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// Big-endian reads over a zone file; any read past its end marks the reader failed.
class TzifReader {
public:
    explicit TzifReader(std::string_view bytes) : bytes_(bytes) {}
    bool failed() const { return failed_; }
    std::size_t position() const { return at_; }
    std::string_view rest() const { return failed_ ? std::string_view() : bytes_.substr(at_); }

    std::int64_t integer(std::size_t size) {
        if (failed_ || bytes_.size() - at_ < size) {
            failed_ = true;
            return 0;
        }
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value = value << 8 | static_cast<unsigned char>(bytes_[at_ + i]);
        at_ += size;
        if (size < 8 && (value >> (8 * size - 1)) != 0) value -= std::uint64_t{1} << (8 * size);  // signed
        return static_cast<std::int64_t>(value);
    }
    void skip(std::int64_t size) {
        if (size < 0 || bytes_.size() - at_ < static_cast<std::size_t>(size)) {
            failed_ = true;
        } else {
            at_ += static_cast<std::size_t>(size);
        }
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
    bool failed_ = false;
};

struct TzifCounts {
    std::int64_t isut = 0, isstd = 0, leap = 0, time = 0, type = 0, chars = 0;
};

bool header(TzifReader& in, char& version, TzifCounts& counts) {
    const std::string_view magic = in.rest().substr(0, 4);
    if (magic != "TZif") return false;
    in.skip(4);
    version = static_cast<char>(in.integer(1));
    in.skip(15);
    counts = {in.integer(4), in.integer(4), in.integer(4), in.integer(4), in.integer(4), in.integer(4)};
    return !in.failed() && counts.type > 0 && counts.time >= 0 && counts.leap >= 0 && counts.chars >= 0 &&
           counts.isut >= 0 && counts.isstd >= 0;
}

// The rule for times after the last transition without its names: "EST5EDT,M3.2.0,M11.1.0" and
// "<-05>5<-04>,M3.2.0,M11.1.0" both read "N5N,M3.2.0,M11.1.0". Names only stand before the rules.
std::string footerWithoutNames(std::string_view footer) {
    std::string out;
    std::size_t i = 0;
    while (i < footer.size() && footer[i] != ',') {
        const char c = footer[i];
        if (c == '<') {
            const std::size_t close = footer.find('>', i);
            i = close == std::string_view::npos ? footer.size() : close + 1;
            out += 'N';
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            while (i < footer.size() &&
                   ((footer[i] >= 'A' && footer[i] <= 'Z') || (footer[i] >= 'a' && footer[i] <= 'z')))
                ++i;
            out += 'N';
        } else {
            out += c;
            ++i;
        }
    }
    out.append(footer.substr(i));
    return out;
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

// RFC 8536: the 32-bit block, then (version 2 and later) the same data with 64-bit times and the
// rule for later times between two newlines. Type 0 holds before the first transition.
std::string TimeZoneIdentity::rulesDigestOf(std::string_view zoneFile) {
    TzifReader in(zoneFile);
    char version = 0;
    TzifCounts counts;
    if (!header(in, version, counts)) return {};
    int timeSize = 4;
    if (version >= '2') {
        in.skip(counts.time * 5 + counts.type * 6 + counts.chars + counts.leap * 8 + counts.isstd + counts.isut);
        if (!header(in, version, counts)) return {};
        timeSize = 8;
    }
    std::vector<std::int64_t> times, offsets;
    std::vector<std::int64_t> typeOf;
    for (std::int64_t i = 0; i < counts.time; ++i) times.push_back(in.integer(timeSize));
    for (std::int64_t i = 0; i < counts.time; ++i) typeOf.push_back(in.integer(1) & 0xff);
    for (std::int64_t i = 0; i < counts.type; ++i) {
        offsets.push_back(in.integer(4));
        in.skip(2);  // whether it is daylight saving time, and its name
    }
    in.skip(counts.chars);
    std::string rules = "offset " + std::to_string(offsets.front());
    std::int64_t offset = offsets.front();
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (typeOf[i] >= counts.type) return {};
        if (offsets[static_cast<std::size_t>(typeOf[i])] == offset) continue;
        offset = offsets[static_cast<std::size_t>(typeOf[i])];
        rules += " at " + std::to_string(times[i]) + " " + std::to_string(offset);
    }
    for (std::int64_t i = 0; i < counts.leap; ++i) {
        const std::int64_t when = in.integer(timeSize);
        rules += " leap " + std::to_string(when) + " " + std::to_string(in.integer(4));
    }
    in.skip(counts.isstd + counts.isut);
    if (in.failed()) return {};
    if (timeSize == 8) {
        const std::string_view rest = in.rest();
        const std::size_t end = rest.size() > 1 && rest.front() == '\n' ? rest.find('\n', 1) : std::string_view::npos;
        if (end == std::string_view::npos) return {};
        rules += " then " + footerWithoutNames(rest.substr(1, end - 1));
    }
    return digest(rules);
}

bool TimeZoneIdentity::sameRules(const TimeZoneIdentity& other) const {
    if (!rulesDigest.empty() && !other.rulesDigest.empty()) return rulesDigest == other.rulesDigest;
    return rulesDigest.empty() && other.rulesDigest.empty() && name == other.name &&
           databaseVersion == other.databaseVersion && fileDigest == other.fileDigest;
}

std::string TimeZoneIdentity::rulesKey() const {
    if (!rulesDigest.empty()) return "rules " + rulesDigest;
    return "setting " + name + "|" + databaseVersion + "|" + fileDigest;
}

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
        if (const auto content = regularFileContent(file)) {
            identity.fileDigest = digest(*content);
            identity.rulesDigest = rulesDigestOf(*content);
        }
    }
    return identity;
}

}  // namespace ostrel
