// What tests of every library share: a temporary folder removed afterwards,
// and environment variables put back when the test ends, so that no test
// sees the real home or leaves a setting behind for the next.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class TTempDir {
public:
    // A new folder <temp>/ripper-test-XXXXXX; throws when it cannot be made.
    TTempDir();
    ~TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;

    const std::string& Path() const { return FPath; }

    // Writes `bytes` to Path() + "/" + name, creating sub-folders; the path.
    std::string Write(const std::string& name, const std::string& bytes) const;

private:
    std::string FPath;
};

// Sets or unsets variables for one test and puts the old values back, the
// last set first.
class TEnvGuard {
public:
    TEnvGuard() = default;
    TEnvGuard(const std::string& name, const std::optional<std::string>& value) { Set(name, value); }
    ~TEnvGuard();
    TEnvGuard(const TEnvGuard&) = delete;
    TEnvGuard& operator=(const TEnvGuard&) = delete;

    void Set(const std::string& name, const std::optional<std::string>& value);

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> FSaved;
};

}  // namespace testsupport
