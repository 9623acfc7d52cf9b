// Runs the tests with the drive emulator preloaded: without it in
// LD_PRELOAD the executable starts itself again with it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, FAKEDRIVE_LIBRARY)) {
        std::string value = FAKEDRIVE_LIBRARY;
        if (preload && *preload)
            value += std::string(":") + preload;
        ::setenv("LD_PRELOAD", value.c_str(), 1);
        // An ASan build refuses a library preloaded before its runtime.
        std::string asan = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
        if (asan.find("verify_asan_link_order") == std::string::npos)
            ::setenv("ASAN_OPTIONS",
                     (asan.empty() ? asan : asan + ":").append("verify_asan_link_order=0").c_str(), 1);
        ::execv("/proc/self/exe", argv);
        std::perror("fakedrive_tests: cannot re-execute with the emulator preloaded");
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
