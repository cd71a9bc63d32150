#include "ProcessSockets.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "Platform/UniqueFd.hpp"

namespace ostrel::nettop {
namespace {

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

template <typename T>
std::optional<T> number(std::string_view text) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

std::optional<std::uint64_t> socketInode(int directory, const char* name) {
    char target[64];
    const ssize_t length = ::readlinkat(directory, name, target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
    const std::string_view link(target, static_cast<std::size_t>(length));
    static constexpr std::string_view prefix = "socket:[";
    if (!link.starts_with(prefix) || !link.ends_with("]")) return std::nullopt;
    return number<std::uint64_t>(link.substr(prefix.size(), link.size() - prefix.size() - 1));
}

}  // namespace

ProcSocketOwners::ProcSocketOwners(std::string procRoot) : procRoot_(std::move(procRoot)) {}

bool ProcSocketOwners::holds(const SocketOwner& owner, std::uint64_t inode) {
    if (owner.pid <= 0 || owner.fd < 0) return false;
    auto [folder, added] = descriptors_.try_emplace(owner.pid);
    if (added) {
        const auto path = procRoot_ + "/" + std::to_string(owner.pid) + "/fd";
        folder->second.reset(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    }
    return folder->second.valid() && socketInode(folder->second.get(), std::to_string(owner.fd).c_str()) == inode;
}

std::map<std::uint64_t, SocketOwner> ProcSocketOwners::find(const std::set<std::uint64_t>& wanted,
                                                            const std::set<std::uint64_t>& noted) {
    std::map<std::uint64_t, SocketOwner> found;
    if (wanted.empty()) return found;
    std::vector<int> pids;
    if (const Dir proc(::opendir(procRoot_.c_str())); proc) {
        while (const dirent* item = ::readdir(proc.get())) {
            if (const auto pid = number<int>(item->d_name); pid && *pid > 0) pids.push_back(*pid);
        }
    }
    std::sort(pids.begin(), pids.end());

    std::size_t missing = wanted.size();
    for (const int pid : pids) {
        const Dir fds(::opendir((procRoot_ + "/" + std::to_string(pid) + "/fd").c_str()));
        if (!fds) continue;
        while (const dirent* item = ::readdir(fds.get())) {
            if (item->d_name[0] == '.') continue;
            const auto inode = socketInode(::dirfd(fds.get()), item->d_name);
            if (!inode) continue;
            const bool isWanted = wanted.count(*inode) != 0;
            if (!isWanted && noted.count(*inode) == 0) continue;
            const auto fd = number<int>(item->d_name);
            if (!fd || !found.emplace(*inode, SocketOwner{pid, *fd}).second) continue;
            if (isWanted) --missing;
        }
        if (missing == 0) break;
    }
    return found;
}

std::string ProcSocketOwners::name(int pid) {
    const UniqueFd fd(::open((procRoot_ + "/" + std::to_string(pid) + "/comm").c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd.valid()) return {};
    char buffer[64];
    ssize_t count = -1;
    do {
        count = ::read(fd.get(), buffer, sizeof buffer);
    } while (count < 0 && errno == EINTR);
    if (count <= 0) return {};
    const std::string_view text(buffer, static_cast<std::size_t>(count));
    return std::string(text.substr(0, text.find('\n')));
}

}  // namespace ostrel::nettop
