#include "Services/SamplingPipeline.hpp"

#include <filesystem>
#include <utility>
#include <vector>

#include "Platform/DesktopEntries.hpp"
#include "Platform/InterfaceCounterSource.hpp"
#include "Platform/NetlinkDefaultRouteLookup.hpp"
#include "Platform/Nl80211WifiClient.hpp"
#include "Platform/ProcRunningApplications.hpp"
#include "Platform/ProcessToolRunner.hpp"
#include "Platform/ToolPaths.hpp"
#include "PlatformAdapters/NettopTrafficAttributionProvider.hpp"

namespace ostrel {

std::shared_ptr<SamplingCoordinator> makeSamplingPipeline(std::shared_ptr<OstrelRepository> repository,
                                                          std::shared_ptr<MainQueue> mainQueue,
                                                          std::shared_ptr<LogSink> log,
                                                          const std::string& helperToolsDir) {
    const ToolPaths paths = ToolPaths::inLibexec(helperToolsDir);
    auto runner = std::make_shared<ProcessToolRunner>();
    auto applications = std::make_shared<ProcRunningApplications>("/proc", DesktopEntries::dataDirsFromEnvironment(),
                                                                  DesktopEntries::localeFromEnvironment());
    std::vector<std::shared_ptr<TrafficAttributionProviding>> providers{
        std::make_shared<NettopTrafficAttributionProvider>(runner, paths, std::move(applications))};
    return SamplingCoordinator::create(
        std::make_unique<TrafficMonitorAdapter>(std::make_unique<GetifaddrsCounterSource>(),
                                                std::make_unique<NetlinkDefaultRouteLookup>()),
        std::make_unique<NetworkIdentityResolver>(std::make_shared<Nl80211WifiClient>(), runner, paths),
        std::make_unique<TrafficAttributionLayer>(std::move(providers)), std::move(repository), std::move(mainQueue),
        std::move(log));
}

std::string helperToolsDir(const std::string& executablePath) {
    if (!executablePath.empty()) {
        const auto installed = std::filesystem::path(executablePath).parent_path() / "../libexec/ostrel";
        std::error_code error;
        if (std::filesystem::is_directory(installed, error)) {
            return installed.lexically_normal().string();
        }
    }
    return OSTREL_BUILD_LIBEXEC_DIR;
}

}  // namespace ostrel
