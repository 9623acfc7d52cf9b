#include "CdRipTestSupport.h"

#include <cddrives/CdDrives.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace cdriptest {

int32_t RealDriveCount()
{
    ScopedEnv none("CDRIP_IMAGES", "");
    return static_cast<int32_t>(cddrives::ListDrives().size());
}

int32_t UseTrays(const std::vector<std::string>& trays)
{
    std::string list;
    for (const std::string& tray : trays)
        list += (list.empty() ? "" : ":") + tray;
    const int32_t first = RealDriveCount();
    ::setenv("CDRIP_IMAGES", list.c_str(), 1);
    EXPECT_NE(CR_Init(), CDRIP_ERROR);
    EXPECT_EQ(CR_SetActiveCDROM(first), CDRIP_OK);
    return first;
}

void SetFormat(int32_t format, bool jitterCorrection)
{
    TCDRomParameters params{};
    ASSERT_EQ(CR_GetCDROMParameters(&params), CDRIP_OK);
    CR_SetParamOutputFormat(&params, format);
    params.JitterCorrection = jitterCorrection ? -1 : 0;
    ASSERT_EQ(CR_SetCDROMParameters(&params), CDRIP_OK);
}

RipResult Rip(int32_t start, int32_t end, int maxReads)
{
    RipResult rip;
    rip.openResult = CR_OpenRipper(&rip.readSize, start, end);
    if (rip.openResult == CDRIP_ERROR)
        return rip;
    std::vector<uint8_t> buffer(static_cast<size_t>(rip.readSize) + 16, 0xEE);
    int32_t lastPercent = 0;
    const Stopwatch total;
    for (int i = 0; i < maxReads;) {
        if (total.Seconds() > 120) {
            rip.timedOut = true;
            ADD_FAILURE() << "the range was not read within 120 s";
            break;
        }
        int32_t delivered = -1;
        const Stopwatch call;
        const int32_t result = CR_RipChunk(buffer.data(), &delivered);
        rip.longestCall = std::max(rip.longestCall, call.Seconds());
        const int32_t percent = CR_GetPercentCompleted();
        rip.percentMonotonic = rip.percentMonotonic && percent >= lastPercent;
        lastPercent = percent;
        if (result == CDRIP_OK && delivered == 0) {
            ++rip.idle;
            continue;
        }
        ++i;
        rip.results.push_back(result);
        rip.maxDelivered = std::max(rip.maxDelivered, delivered);
        if (result != CDRIP_ERROR)
            rip.pcm.insert(rip.pcm.end(), buffer.begin(), buffer.begin() + delivered);
        if (result == CDRIP_JITTER_ERROR) {
            int32_t first = -1;
            int32_t last = -1;
            CR_GetLastJitterErrorPosition(&first, &last);
            rip.jitter.emplace_back(first, last);
            const auto done = static_cast<int32_t>(rip.pcm.size() / 2352);
            rip.jitterReads.emplace_back(start + done - delivered / 2352, start + done - 1);
        }
        if (result == CDRIP_RIPPING_DONE)
            break;
    }
    rip.finalPercent = lastPercent;
    rip.jitterCount = CR_GetNumberOfJitterErrors();
    EXPECT_NE(CR_CloseRipper(), CDRIP_ERROR);
    return rip;
}

Stopwatch::Stopwatch() : start_(std::chrono::steady_clock::now()) {}

double Stopwatch::Seconds() const
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

ProbeRun RunProbe(const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& output, double deadline)
{
    std::vector<std::string> entries = env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('=') + 1);
        bool replaced = false;
        for (const std::string& given : env)
            replaced = replaced || given.rfind(name, 0) == 0;
        if (!replaced)
            entries.push_back(entry);
    }
    std::vector<char*> envp;
    for (std::string& entry : entries)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::vector<char*> argv{const_cast<char*>(CDRIP_EXIT_PROBE)};
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    ProbeRun run;
    const Stopwatch elapsed;
    pid_t child = 0;
    const int spawned = ::posix_spawn(&child, CDRIP_EXIT_PROBE, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        ADD_FAILURE() << "cannot start " << CDRIP_EXIT_PROBE;
        return run;
    }
    pid_t done = 0;
    while ((done = ::waitpid(child, &run.status, WNOHANG)) == 0 && elapsed.Seconds() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    run.seconds = elapsed.Seconds();
    if (done == 0) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &run.status, 0);
        return run;
    }
    run.finished = true;
    std::ifstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t equals = line.find('=');
        if (equals != std::string::npos)
            run.values[line.substr(0, equals)] = std::stol(line.substr(equals + 1));
    }
    return run;
}

}  // namespace cdriptest
