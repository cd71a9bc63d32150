#pragma once

#include <optional>
#include <string>

namespace ostrel {

// Why the shared library at `path` must not be handed to dlopen, or nothing when it looks whole.
// dlopen maps each segment its program headers name, whether or not the file holds it, and the
// first touch of a page past the end of the file kills the process (SIGBUS). So a file cut short,
// as by an interrupted install, or one whose headers name more than it holds, is refused here,
// as is one built for another kind of machine or not a shared library at all.
std::optional<std::string> elfLibraryDefect(const std::string& path);

}  // namespace ostrel
