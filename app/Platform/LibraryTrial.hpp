#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace ostrel {

// Whether a shared library may be loaded into this process. A library whose initialisers or code
// crash would take the whole program down inside dlopen, on every start; the ELF headers cannot
// tell, so the library is first loaded and called in a process of its own.
class LibraryTrial {
public:
    virtual ~LibraryTrial() = default;
    // Why the library at `path` must not be loaded here; nothing when it loaded and answered, or
    // when it could not be loaded at all (dlopen says so by itself, without harm).
    virtual std::optional<std::string> defect(const std::string& path) = 0;
};

// Runs `helperPath` with the library's path as its only argument: it exits 0 once the library
// loaded and answered, `notLoadedStatus` when dlopen refused it, and anything else, a signal
// included, is a defect; so is a helper still running after `timeLimit`, which is then killed.
class HelperLibraryTrial final : public LibraryTrial {
public:
    static constexpr int notLoadedStatus = 3;
    static constexpr std::chrono::milliseconds defaultTimeLimit{3000};

    explicit HelperLibraryTrial(std::string helperPath, std::chrono::milliseconds timeLimit = defaultTimeLimit);

    std::optional<std::string> defect(const std::string& path) override;

private:
    std::string helperPath_;
    std::chrono::milliseconds timeLimit_;
};

}  // namespace ostrel
