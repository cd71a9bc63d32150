#include "Services/VellCoreBridge.hpp"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <utility>

#include "Platform/ElfLibraryCheck.hpp"
#include "Platform/ProgramLocation.hpp"
#include "Services/SamplingPipeline.hpp"
#include "Services/VellCoreJson.hpp"

namespace ostrel {
namespace {

constexpr const char* kLibraryName = "libostrel_core.so";

// sshd's rule for key files: the file, and every folder above it, belong to this user or root,
// and neither their group nor others may write them. Otherwise another account could put its
// own code in the library's place, for instance in a folder the program merely started in.
bool ownedAndWritableOnlyByUs(const struct stat& info, uid_t user) {
    return (info.st_uid == user || info.st_uid == 0) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// A shared folder with the sticky bit (as /tmp) is safe too: others may add entries there but not
// rename or remove ours, and the entry below it on the path has already passed as ours or root's.
bool safeFolder(const struct stat& info, uid_t user) {
    return ownedAndWritableOnlyByUs(info, user) ||
           ((info.st_uid == user || info.st_uid == 0) && (info.st_mode & S_ISVTX) != 0);
}

// The candidate with every link resolved, when it is safe to load; the resolved path is what
// gets loaded, so a link cannot be swapped between the check and the load.
std::optional<std::string> trustedLibraryPath(const std::string& candidate, uid_t user) {
    char* resolved = ::realpath(candidate.c_str(), nullptr);
    if (resolved == nullptr) {
        return std::nullopt;
    }
    const std::string path(resolved);
    std::free(resolved);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || !ownedAndWritableOnlyByUs(info, user)) {
        return std::nullopt;
    }
    for (std::filesystem::path folder = std::filesystem::path(path).parent_path();; folder = folder.parent_path()) {
        if (::stat(folder.c_str(), &info) != 0 || !safeFolder(info, user)) {
            return std::nullopt;
        }
        if (folder == folder.root_path()) {
            return path;
        }
    }
}

template <class Function>
Function bind(void* handle, const char* name) {
    return reinterpret_cast<Function>(::dlsym(handle, name));
}

template <class Response>
std::optional<Response> readAnswer(const rapidjson::Value& answer);

template <>
std::optional<VellAggregation> readAnswer(const rapidjson::Value& answer) {
    return vellcore::readAggregation(answer);
}

template <>
std::optional<std::vector<RankedUsage>> readAnswer(const rapidjson::Value& answer) {
    return vellcore::readRanking(answer);
}

template <>
std::optional<ThresholdEvaluation> readAnswer(const rapidjson::Value& answer) {
    return vellcore::readThreshold(answer);
}

}  // namespace

std::shared_ptr<const VellCoreBridge> VellCoreBridge::shared() {
    // Built once even when several threads ask first; never destroyed, so no call can meet a
    // closed library while the process ends.
    static const auto* const instance = new std::shared_ptr<const VellCoreBridge>(
        std::make_shared<const VellCoreBridge>(defaultLibraryCandidates(), std::make_shared<SyslogSink>()));
    return *instance;
}

std::vector<std::string> VellCoreBridge::defaultLibraryCandidates() {
    std::vector<std::string> candidates;
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        const auto folder = executable.parent_path();
        candidates.push_back((folder / "../lib/ostrel" / kLibraryName).string());
        candidates.push_back((folder / kLibraryName).string());
    }
    if (const char* variable = std::getenv("OSTREL_VELL_CORE_LIB"); variable != nullptr && *variable != '\0') {
        candidates.emplace_back(variable);
    }
    const auto current = std::filesystem::current_path(error);
    if (!error) {
        candidates.push_back(current.string() + "/../build/lib/" + kLibraryName);
        candidates.push_back(current.string() + "/build/lib/" + kLibraryName);
    }
    return candidates;
}

std::shared_ptr<LibraryTrial> VellCoreBridge::defaultLibraryTrial() {
    return std::make_shared<HelperLibraryTrial>(helperToolsDir(currentExecutablePath()) + "/ostrel-core-probe");
}

VellCoreBridge::VellCoreBridge(const std::vector<std::string>& candidates, std::shared_ptr<LogSink> log,
                               std::shared_ptr<LibraryTrial> trial)
    : log_(std::move(log)) {
    const uid_t user = ::geteuid();
    for (const auto& candidate : candidates) {
        if (const auto path = trustedLibraryPath(candidate, user)) {
            // A damaged file would bring the whole program down inside dlopen, without a word:
            // one cut short is seen in its headers, one whose code or tables are broken only
            // when it runs.
            auto defect = elfLibraryDefect(*path);
            if (!defect && trial) defect = trial->defect(*path);
            if (defect) {
                log_->log("Skipped core library " + *path + ": " + *defect);
                continue;
            }
            handle_ = ::dlopen(path->c_str(), RTLD_NOW | RTLD_LOCAL);
            if (handle_ != nullptr) {
                break;
            }
        }
    }
    if (handle_ == nullptr) {
        return;
    }
    // A missing name leaves its field empty and the bridge unavailable; the handle stays open.
    functions_.aggregate = bind<EntryPoint>(handle_, "ol_core_aggregate_usage");
    functions_.rank = bind<EntryPoint>(handle_, "ol_core_rank_entities");
    functions_.threshold = bind<EntryPoint>(handle_, "ol_core_evaluate_thresholds");
    functions_.free = bind<FreeFunction>(handle_, "ol_core_free_string");
}

VellCoreBridge::VellCoreBridge(EntryPoints entryPoints, std::shared_ptr<LogSink> log)
    : functions_(entryPoints), log_(std::move(log)) {}

VellCoreBridge::~VellCoreBridge() {
    if (handle_ != nullptr) {
        ::dlclose(handle_);
    }
}

bool VellCoreBridge::isAvailable() const {
    return functions_.aggregate != nullptr && functions_.rank != nullptr && functions_.threshold != nullptr &&
           functions_.free != nullptr;
}

template <class Response>
std::optional<Response> VellCoreBridge::invokeJSON(EntryPoint function, const char* request) const {
    if (function == nullptr || functions_.free == nullptr || request == nullptr) {
        return std::nullopt;
    }
    char* const result = function(request);
    if (result == nullptr) {
        return std::nullopt;
    }
    // Released once, after the answer has been read.
    const std::unique_ptr<char, FreeFunction> owned(result, functions_.free);
    const std::string text = vellcore::utf8Repaired(result);
    rapidjson::Document answer;
    answer.Parse(text.data(), text.size());
    if (answer.HasParseError()) {
        return std::nullopt;
    }
    if (const auto message = vellcore::errorMessage(answer)) {
        log_->log("Vell core error: " + *message);
        return std::nullopt;
    }
    return readAnswer<Response>(answer);
}

VellSamples VellCoreBridge::prepare(std::span<const UsageSampleRecord> samples) const {
    VellSamples prepared;
    if (isAvailable()) {
        prepared.written = vellcore::appendSamples(prepared.text, samples);
        prepared.samplesEnd = prepared.text.size();
    }
    return prepared;
}

std::optional<VellAggregation> VellCoreBridge::aggregate(std::span<const UsageSampleRecord> samples,
                                                         const DateRange& range, VellBucketSize bucketSize) const {
    VellSamples prepared = prepare(samples);
    return aggregate(prepared, range, bucketSize);
}

std::optional<std::vector<RankedUsage>> VellCoreBridge::rank(std::span<const UsageSampleRecord> samples,
                                                             VellRankingDimension dimension, std::int64_t limit) const {
    VellSamples prepared = prepare(samples);
    return rank(prepared, dimension, limit);
}

std::optional<VellAggregation> VellCoreBridge::aggregate(VellSamples& samples, const DateRange& range,
                                                         VellBucketSize bucketSize) const {
    if (!isAvailable() || !samples.written) {
        return std::nullopt;
    }
    samples.text.resize(samples.samplesEnd);
    vellcore::appendAggregateFields(samples.text, range, bucketSize);
    return invokeJSON<VellAggregation>(functions_.aggregate, samples.text.c_str());
}

std::optional<std::vector<RankedUsage>> VellCoreBridge::rank(VellSamples& samples, VellRankingDimension dimension,
                                                             std::int64_t limit) const {
    if (!isAvailable() || !samples.written) {
        return std::nullopt;
    }
    samples.text.resize(samples.samplesEnd);
    vellcore::appendRankFields(samples.text, dimension, limit);
    return invokeJSON<std::vector<RankedUsage>>(functions_.rank, samples.text.c_str());
}

std::optional<ThresholdEvaluation> VellCoreBridge::evaluateThreshold(std::int64_t totalBytes, std::int64_t warning,
                                                                     std::int64_t danger) const {
    if (!isAvailable()) {
        return std::nullopt;
    }
    const std::string request = vellcore::thresholdRequest(totalBytes, warning, danger);
    return invokeJSON<ThresholdEvaluation>(functions_.threshold, request.c_str());
}

}  // namespace ostrel
