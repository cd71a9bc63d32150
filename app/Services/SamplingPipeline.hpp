#pragma once

#include <memory>
#include <string>

#include "Persistence/OstrelRepository.hpp"
#include "Platform/LogSink.hpp"
#include "Platform/MainQueue.hpp"
#include "PlatformAdapters/SamplingCoordinator.hpp"

namespace ostrel {

// The sampler over this machine, stopped: the kernel's interface counters and default route,
// the Wi-Fi names over nl80211, and the per-process tool with the running applications of /proc
// and the XDG data folders; the helper tools come from `helperToolsDir`. It writes through
// `repository` and calls back on `mainQueue`. The sampling threads, and the tools they start,
// belong to the network namespace of the calling thread.
std::shared_ptr<SamplingCoordinator> makeSamplingPipeline(std::shared_ptr<OstrelRepository> repository,
                                                          std::shared_ptr<MainQueue> mainQueue,
                                                          std::shared_ptr<LogSink> log,
                                                          const std::string& helperToolsDir);

// Where the helper tools of the program at `executablePath` are: <its folder>/../libexec/ostrel
// when the program is installed there, else the build tree's libexec folder.
std::string helperToolsDir(const std::string& executablePath);

}  // namespace ostrel
