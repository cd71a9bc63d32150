#include "ProcessSockets.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

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

std::optional<std::uint64_t> socketInode(int fdDir, const char* name) {
    char target[64];
    const ssize_t length = ::readlinkat(fdDir, name, target, sizeof target);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof target) return std::nullopt;
    const std::string_view link(target, static_cast<std::size_t>(length));
    static constexpr std::string_view prefix = "socket:[";
    if (!link.starts_with(prefix) || !link.ends_with("]")) return std::nullopt;
    return number<std::uint64_t>(link.substr(prefix.size(), link.size() - prefix.size() - 1));
}

}  // namespace

ProcessSockets readProcessSockets(const std::string& procRoot) {
    std::vector<int> pids;
    if (const Dir proc(::opendir(procRoot.c_str())); proc) {
        while (const dirent* item = ::readdir(proc.get())) {
            if (const auto pid = number<int>(item->d_name); pid && *pid > 0) pids.push_back(*pid);
        }
    }
    std::sort(pids.begin(), pids.end());

    ProcessSockets result;
    for (const int pid : pids) {
        const auto processDir = procRoot + "/" + std::to_string(pid);
        const Dir fds(::opendir((processDir + "/fd").c_str()));
        if (!fds) continue;
        bool hasSocket = false;
        while (const dirent* item = ::readdir(fds.get())) {
            if (item->d_name[0] == '.') continue;
            if (const auto inode = socketInode(::dirfd(fds.get()), item->d_name)) {
                result.ownerBySocketInode.emplace(*inode, pid);
                hasSocket = true;
            }
        }
        if (!hasSocket) continue;
        std::ifstream comm(processDir + "/comm");
        std::string name;
        std::getline(comm, name);
        result.nameByPid[pid] = name;
    }
    return result;
}

}  // namespace ostrel::nettop
