#include "tests/support/device_namespace.h"

namespace fwsend {

namespace {

// $1 the fake tree, $2 the staging directory, $3 "wide" for inode numbers
// beyond 32 bits, then kind/name/target triples up to "--" (node: bound to
// target; link: a symbolic link to it), then the program and its
// arguments. /dev is built aside and moved into place, since the targets
// live under the /dev it replaces. The run gets a /run/lock of its own: its
// device names are the machine's too.
//
// Wide inode numbers come from overlayfs with xino over two filesystems
// (the tree's and a tmpfs): it puts the layer's number in the high bits
// of every inode number of the lower layers. Exit status 77 where the
// tree's numbers do not come out wide.
constexpr char kScript[] =
    "set -e\n"
    "sys=$1; stage=$2; inodes=$3; shift 3\n"
    "if [ \"$inodes\" = wide ]; then\n"
    "  mount -t tmpfs fwsend-test-layer \"$stage\"\n"
    "  mkdir \"$stage/empty\" \"$stage/sys\"\n"
    "  mount -t overlay -o \"lowerdir=$sys:$stage/empty,xino=on\" fwsend-test-wide \"$stage/sys\" || exit "
    "77\n"
    "  sys=$stage/sys\n"
    "  [ \"$(stat -c %i \"$sys/class/tty\")\" -gt 4294967295 ] || exit 77\n"
    "fi\n"
    "mount --bind \"$sys\" /sys\n"
    "if [ -d /run/lock ]; then mount -t tmpfs fwsend-test-lock /run/lock; fi\n"
    "mount -t tmpfs fwsend-test-dev \"$stage\"\n"
    "while [ \"$1\" != -- ]; do\n"
    "  if [ \"$1\" = link ]; then\n"
    "    mkdir -p \"$(dirname \"$stage/$2\")\"; ln -s \"$3\" \"$stage/$2\"\n"
    "  else\n"
    "    touch \"$stage/$2\"; mount --bind \"$3\" \"$stage/$2\"\n"
    "  fi\n"
    "  shift 3\n"
    "done\n"
    "shift\n"
    "mount --move \"$stage\" /dev\n"
    "exec \"$@\"\n";

}  // namespace

RunResult RunWithDevices(const std::string& sysfsRoot, const std::string& stageDir,
                         const std::vector<DeviceNode>& nodes, const std::vector<std::string>& argv,
                         int timeoutMs, InodeNumbers inodes) {
    // unshare makes every mount private in the new namespace by default.
    std::vector<std::string> command = {
        "/usr/bin/unshare", "--mount", "--propagation", "private", "sh", "-c", kScript, "sh",
        sysfsRoot,          stageDir};
    command.push_back(inodes == InodeNumbers::Wide ? "wide" : "as-they-are");
    for (const auto& node : nodes) {
        command.push_back(node.link ? "link" : "node");
        command.push_back(node.name);
        command.push_back(node.target);
    }
    command.push_back("--");
    command.insert(command.end(), argv.begin(), argv.end());
    return RunProgram(command, timeoutMs);
}

bool DeviceNamespacesWork(const std::string& sysfsRoot, const std::string& stageDir) {
    return RunWithDevices(sysfsRoot, stageDir, {}, {"sh", "-c", "test -d /sys/class/tty"}, 10000).status == 0;
}

}  // namespace fwsend
