#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

TEST(TempDir, IsRemovedWithWhatWasWrittenIntoIt)
{
    std::string root;
    std::string file;
    {
        const testsupport::TTempDir dir;
        root = dir.Path();
        file = dir.Write("sub/folder/a.ini", "[S]\nk=v\n");
        EXPECT_EQ(file, root + "/sub/folder/a.ini");
        EXPECT_EQ(std::filesystem::file_size(file), 8u);
    }
    EXPECT_FALSE(std::filesystem::exists(root));
}

}  // namespace
