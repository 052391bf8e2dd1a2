// Path strings joined and split as the platform's string category does.
#include <gtest/gtest.h>

#include "Foundation/NSPathUtilities.h"

TEST(PathUtilities, JoinsWithExactlyOneSlash) {
    EXPECT_EQ(stringByAppendingPathComponent("/home/u/Library", "LaunchAgents"),
              "/home/u/Library/LaunchAgents");
    EXPECT_EQ(stringByAppendingPathComponent("/home/u/Library/", "/LaunchAgents/"),
              "/home/u/Library/LaunchAgents");
    EXPECT_EQ(stringByAppendingPathComponent("/", "tmp"), "/tmp");
    EXPECT_EQ(stringByAppendingPathComponent("", "tmp"), "tmp");
    EXPECT_EQ(stringByAppendingPathComponent("/a", ""), "/a");
}

TEST(PathUtilities, SplitsExtensionAndComponents) {
    EXPECT_EQ(pathExtension("org.duolume.Duolume"), "Duolume");
    EXPECT_EQ(pathExtension("/a.b/file"), "");
    EXPECT_EQ(pathExtension("/a/.hidden"), "");
    EXPECT_EQ(lastPathComponent("/a/b.plist/"), "b.plist");
    EXPECT_EQ(stringByDeletingLastPathComponent("/a/b"), "/a");
    EXPECT_EQ(stringByDeletingLastPathComponent("/a"), "/");
    EXPECT_EQ(stringByDeletingLastPathComponent("a"), "");
}
