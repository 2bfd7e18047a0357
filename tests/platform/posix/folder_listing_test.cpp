// A folder read to its end, or the failure: never the one for the other.
#include "platform/posix/folder_listing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include <fcntl.h>

#include "tests/support/scratch_dir.h"

namespace fwsend::posix {

namespace {

TEST(FolderListing, AReadThatFailsIsAFailureNotTheEndOfTheFolder) {
    const ScratchDir dir;
    dir.Write("b", "");
    dir.Write("a", "");

    std::vector<std::string> names;
    EXPECT_EQ(ForEachEntryOf(dir.Path(), [&](const std::string& name) { names.push_back(name); }), "");
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b"}));

    EXPECT_EQ(ForEachEntryOf(dir.File("gone"), [](const char*) {}),
              dir.File("gone") + ": No such file or directory");

    // A folder opened for its path only opens as a folder, but every read of
    // it fails: the readdir() loop of old saw an empty folder here.
    DIR* const unreadable = ::fdopendir(::open(dir.Path().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    ASSERT_NE(unreadable, nullptr);
    int visited = 0;
    EXPECT_EQ(ForEachEntry(unreadable, [&](const char*) { ++visited; }), EBADF);
    EXPECT_EQ(visited, 0);
    ::closedir(unreadable);
}

}  // namespace

}  // namespace fwsend::posix
