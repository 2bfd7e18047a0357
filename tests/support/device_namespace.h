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

// stageDir: an empty directory the /dev of the run is built in.
RunResult RunWithDevices(const std::string& sysfsRoot, const std::string& stageDir,
                         const std::vector<DeviceNode>& nodes, const std::vector<std::string>& argv,
                         int timeoutMs = 30000);

// Whether this machine lets us make such a namespace (root, not confined).
bool DeviceNamespacesWork(const std::string& sysfsRoot, const std::string& stageDir);

}  // namespace fwsend
