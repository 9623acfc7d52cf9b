#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kVariable = "RIPPER_TESTSUPPORT_PROBE";

std::optional<std::string> Current()
{
    const char* value = std::getenv(kVariable);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

struct TGuardCase {
    const char* Name;
    std::optional<std::string> Before;
    std::vector<std::optional<std::string>> Settings;  // set one after the other
};

class EnvGuardRestores : public ::testing::TestWithParam<TGuardCase> {};

TEST_P(EnvGuardRestores, TheValueFromBeforeTheGuard)
{
    if (GetParam().Before)
        ::setenv(kVariable, GetParam().Before->c_str(), 1);
    else
        ::unsetenv(kVariable);
    {
        testsupport::TEnvGuard guard;
        for (const auto& value : GetParam().Settings) {
            guard.Set(kVariable, value);
            EXPECT_EQ(Current(), value);
        }
    }
    EXPECT_EQ(Current(), GetParam().Before);
    ::unsetenv(kVariable);
}

INSTANTIATE_TEST_SUITE_P(Cases, EnvGuardRestores,
                         ::testing::Values(TGuardCase{"SetOverSet", "old", {"new"}},
                                           TGuardCase{"SetOverUnset", std::nullopt, {"new"}},
                                           TGuardCase{"UnsetOverSet", "old", {std::nullopt}},
                                           TGuardCase{"SetTwiceOverSet", "old", {"a", "b"}},
                                           TGuardCase{
                                               "SetThenUnsetOverUnset", std::nullopt, {"a", std::nullopt}}),
                         [](const auto& p) { return std::string(p.param.Name); });

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
