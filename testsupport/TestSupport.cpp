#include "TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

void Apply(const std::string& name, const std::optional<std::string>& value)
{
    if (value)
        ::setenv(name.c_str(), value->c_str(), 1);
    else
        ::unsetenv(name.c_str());
}

}  // namespace

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "ripper-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    FPath = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(FPath, ignored);
}

std::string TTempDir::Write(const std::string& name, const std::string& bytes) const
{
    const std::filesystem::path file = std::filesystem::path(FPath) / name;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << bytes;
    return file.string();
}

TEnvGuard::~TEnvGuard()
{
    for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it)
        Apply(it->first, it->second);
}

void TEnvGuard::Set(const std::string& name, const std::optional<std::string>& value)
{
    const char* old = std::getenv(name.c_str());
    FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    Apply(name, value);
}

}  // namespace testsupport
