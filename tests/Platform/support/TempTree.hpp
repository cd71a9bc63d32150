#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace ostrel::testing {

// A fresh temporary folder, removed with everything in it, and files written into it.
struct TempTree {
    TempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "ostrel-tree-XXXXXX").string();
        root = ::mkdtemp(pattern.data());
    }
    ~TempTree() {
        std::error_code ignored;  // a test may have closed the folder to its owner
        std::filesystem::permissions(root, std::filesystem::perms::owner_all, std::filesystem::perm_options::add,
                                     ignored);
        std::filesystem::remove_all(root, ignored);
    }
    std::string file(const std::string& relative) const { return root + "/" + relative; }
    // Writes `content` under the folder, making the folders on the way; returns the full path.
    std::string write(const std::string& relative, const std::string& content) const {
        const auto path = std::filesystem::path(root) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path) << content;
        return path.string();
    }
    // A desktop file of an application named `name`, with `more` lines after the name.
    std::string app(const std::string& relative, const std::string& name, const std::string& more = "") const {
        return write(relative, "[Desktop Entry]\nType=Application\nName=" + name + "\n" + more);
    }

    std::string root;
};

}  // namespace ostrel::testing
