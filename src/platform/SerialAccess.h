#pragma once

#include <sys/types.h>

#include <string>

namespace scalino {

// Who may open a serial port's device node, and what a user without access should do.

// The group whose members may read and write a node of group gid and permission bits mode, or
// "" when no group other than root's grants both.
std::string accessGroup(gid_t gid, mode_t mode);

// The advice for a user who may not open the node at path: join the group that grants access,
// or, where none does (or the node cannot be examined), ask for access.
std::string serialAccessHint(const std::string& path);

// Whether this process may both read and write path: false only for a node that exists and
// is refused, so that a missing port is not mistaken for one that lacks access rights.
bool lacksSerialAccess(const std::string& path);

}  // namespace scalino
