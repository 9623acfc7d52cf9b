// Test support: images in a temporary folder, the emulator configured through
// its environment variables, and libcdio's view of the result.
#pragma once

#include "DiscImage.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fakedrive_test {

namespace fs = std::filesystem;
using namespace discimage;
using Clock = std::chrono::steady_clock;

inline void QuietLog(cdio_log_level_t, const char*) {}

struct CdioCloser {
    void operator()(CdIo_t* p) const { cdio_destroy(p); }
};
using Cdio = std::unique_ptr<CdIo_t, CdioCloser>;

inline long MsSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

inline std::vector<uint8_t> FileBytes(const std::string& path, int32_t lsn, int32_t count)
{
    std::ifstream in(path, std::ios::binary);
    in.seekg(std::streamoff{lsn} * kSectorBytes);
    std::vector<uint8_t> bytes(size_t(count) * kSectorBytes);
    in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(in.gcount(), std::streamsize(bytes.size())) << path;
    return bytes;
}

inline std::vector<std::string> Devices()
{
    std::vector<std::string> names;
    char** list = cdio_get_devices(DRIVER_DEVICE);
    for (char** p = list; p && *p; ++p)
        names.emplace_back(*p);
    cdio_free_device_list(list);
    return names;
}

// Sense key / ASC / ASCQ of libcdio's last MMC command; {0,0,0} without sense.
struct Sense {
    int key = 0, asc = 0, ascq = 0;
    bool operator==(const Sense& o) const { return key == o.key && asc == o.asc && ascq == o.ascq; }
};

inline std::ostream& operator<<(std::ostream& os, const Sense& s)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02X/%02X/%02X", s.key, s.asc, s.ascq);
    return os << text;
}

inline Sense LastSense(CdIo_t* cdio)
{
    cdio_mmc_request_sense_t* raw = nullptr;
    Sense sense;
    if (mmc_last_cmd_sense(cdio, &raw) >= 14) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(raw);
        sense = {bytes[2] & 0x0F, bytes[12], bytes[13]};
    }
    cdio_free(raw);
    return sense;
}

class DriveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cdio_log_set_handler(QuietLog);
        // A parameterised test's name has a '/': one folder, not two.
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        dir_ = fs::temp_directory_path() / ("fakedrive-" + std::to_string(::getpid()) + "-" + name);
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        ::unsetenv("FAKEDRIVE_LINKS");
        ::setenv("FAKEDRIVE_LOG", (dir_ / "log").c_str(), 1);
    }

    void TearDown() override
    {
        ::unsetenv("FAKEDRIVE");
        ::unsetenv("FAKEDRIVE_LINKS");
        ::unsetenv("FAKEDRIVE_LOG");
        fs::remove_all(dir_);
    }

    // Writes the image DESCRIPTION as NAME.cue in the test's folder.
    std::string MakeDisc(const std::string& name, const std::string& description)
    {
        disc_ = ParseDescription(description);
        const std::string cue = (dir_ / (name + ".cue")).string();
        WriteImage(disc_, cue);
        return cue;
    }

    std::string Bin(const std::string& cue) const { return cue.substr(0, cue.size() - 4) + ".bin"; }

    static void SetFaults(const std::string& tray, const std::string& items)
    {
        std::ofstream(tray + ".drive") << items << "\n";
    }

    static void UseDrives(const std::string& drives, const std::string& links = {})
    {
        ::setenv("FAKEDRIVE", drives.c_str(), 1);
        if (links.empty())
            ::unsetenv("FAKEDRIVE_LINKS");
        else
            ::setenv("FAKEDRIVE_LINKS", links.c_str(), 1);
    }

    // One drive /dev/sr0 with a three-track noise disc, or the one described.
    std::string OneDrive(const std::string& faults = {}, const char* description = nullptr)
    {
        const std::string tray = MakeDisc(
            "tray0", description ? description : "audio:1200:noise=1 audio:900:noise=2 audio:700:noise=3");
        if (!faults.empty())
            SetFaults(tray, faults);
        UseDrives("/dev/sr0=" + tray);
        return tray;
    }

    static Cdio Open(const char* device = "/dev/sr0") { return Cdio(cdio_open(device, DRIVER_DEVICE)); }

    fs::path dir_;
    Disc disc_;
};

}  // namespace fakedrive_test
