#pragma once
// A fixture for runs of the built programs in a private mount namespace:
// a fake sysfs tree as /sys, device nodes that may reach the simulated
// target's pseudo-terminal. Skips where such namespaces cannot be made.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/support/device_namespace.h"
#include "tests/support/fake_sysfs.h"
#include "tests/support/sim_target_process.h"

namespace fwsend::posix {

class DeviceNamespaceTest : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir(Stage().c_str(), 0700);
        if (!DeviceNamespacesWork(tree_.SysfsRoot(), Stage()))
            GTEST_SKIP() << "no private mount namespaces here (needs root, unconfined)";
        ASSERT_TRUE(target_.Start());
    }
    void TearDown() override { target_.Stop(); }

    std::string Stage() const { return tree_.Root() + "/stage"; }
    RunResult Run(const std::vector<DeviceNode>& nodes, const std::vector<std::string>& argv) {
        return RunWithDevices(tree_.SysfsRoot(), Stage(), nodes, argv);
    }
    // fwsend uploading the sample image at 115200 through "-T<n>" and a
    // description.
    RunResult UploadSample(const std::vector<DeviceNode>& nodes, const std::string& transport,
                           const std::string& description) {
        return Run(nodes, {FWSEND_PATH, std::string("-F") + FWSEND_SAMPLE_IMAGE, "-115200", transport,
                           "-D" + description});
    }

    FakeSysfs tree_;
    SimTarget target_;
};

}  // namespace fwsend::posix
