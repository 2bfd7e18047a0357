#pragma once
// Runs a program where a fake sysfs tree is /sys and /dev holds only the
// given device nodes: a private mount namespace made with util-linux's
// unshare and mount, so nothing outside the run sees it.

#include <string>
#include <vector>

#include "tests/support/child_process.h"

namespace fwsend {

struct DeviceNode {
    std::string name;    // e.g. ttyUSB0, appears as /dev/ttyUSB0
    std::string target;  // the node it reaches, e.g. a pseudo-terminal's slave
    bool link = false;   // a symbolic link to target (as udev's serial/by-path/...), not a node
};

// How the inode numbers of the tree look to the run: as they are, or all
// of them beyond 32 bits, as large filesystems give them; status 77 where
// this machine cannot make them so.
enum class InodeNumbers { AsTheyAre, Wide };

// stageDir: an empty directory the /dev of the run is built in.
RunResult RunWithDevices(const std::string& sysfsRoot, const std::string& stageDir,
                         const std::vector<DeviceNode>& nodes, const std::vector<std::string>& argv,
                         int timeoutMs = 30000, InodeNumbers inodes = InodeNumbers::AsTheyAre);

// Whether this machine lets us make such a namespace (root, not confined).
bool DeviceNamespacesWork(const std::string& sysfsRoot, const std::string& stageDir);

}  // namespace fwsend
