#include "Platform/PrivateFolders.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace ostrel {

int makePrivateFolders(const std::string& folder) {
    if (folder.empty()) return ENOENT;
    for (auto slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
        const auto prefix = folder.substr(0, slash);
        if (!prefix.empty() && prefix.back() != '/' && ::mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return errno;
        }
        if (slash == std::string::npos) break;
    }
    struct stat info {};
    if (::stat(folder.c_str(), &info) != 0) return errno;
    return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

bool narrowOwnedToOwner(const std::string& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || info.st_uid != ::geteuid()) return false;
    if (!S_ISDIR(info.st_mode) && !S_ISREG(info.st_mode)) return false;
    if ((info.st_mode & 077) == 0) return true;
    return ::chmod(path.c_str(), info.st_mode & 07700) == 0;
}

}  // namespace ostrel
