#pragma once

#include <string>

namespace ostrel {

// What the program creates for itself is for this user alone, as the XDG base directory rules
// ask: folders 0700, files 0600. What was there before is left as it is, unless it is the
// program's own (narrowOwnedToOwner).

// Creates `folder` and every missing folder above it with mode 0700; folders that exist keep
// their modes. 0, or the errno of the first failing step (ENOTDIR when something other than a
// folder is at `folder`).
int makePrivateFolders(const std::string& folder);

// Takes every group and other permission off `path` when it is this user's own folder or file
// (not a link, not another account's). True when nothing was left open.
bool narrowOwnedToOwner(const std::string& path);

}  // namespace ostrel
