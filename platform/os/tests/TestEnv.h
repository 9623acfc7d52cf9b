// Test helpers: a temporary folder removed afterwards, and environment
// variables restored when the test ends, so no test sees the real home.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testenv {

class TTempDir {
public:
    TTempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "ripper-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        FPath = pattern;
    }
    ~TTempDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(FPath, ignored);
    }
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }

    // Writes `bytes` to Path() + "/" + name, creating sub-folders.
    std::string Write(const std::string& name, const std::string& bytes) const
    {
        const std::filesystem::path file = std::filesystem::path(FPath) / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

private:
    std::string FPath;
};

// Sets or unsets variables for one test and puts the old values back.
class TEnvGuard {
public:
    ~TEnvGuard()
    {
        for (auto it = FSaved.rbegin(); it != FSaved.rend(); ++it)
            Apply(it->first, it->second);
    }
    void Set(const std::string& name, const std::optional<std::string>& value)
    {
        const char* old = std::getenv(name.c_str());
        FSaved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        Apply(name, value);
    }

private:
    static void Apply(const std::string& name, const std::optional<std::string>& value)
    {
        if (value)
            ::setenv(name.c_str(), value->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

}  // namespace testenv
