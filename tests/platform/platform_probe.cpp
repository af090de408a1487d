// Prints what the platform layer reports for the calling process, for tests that need to run
// it under another user, capability set or namespace.
//
// Usage: platform_probe privileges   ->  "elevated=0|1 admin=0|1"
//        platform_probe pass-on      ->  "passed=0|1" and then the privileges line of a child
//                                        it starts afterwards
//        platform_probe adapters     ->  one line per adapter:
//                                        "ADAPTER <name> <Other|Ethernet|Wireless> <length> <hw|-> <ipv4|->"
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "privileges") == 0) {
        std::printf(
            "elevated=%d admin=%d\n", platform::isProcessElevated() ? 1 : 0, platform::isUserAdmin() ? 1 : 0);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "pass-on") == 0) {
        std::printf("passed=%d\n", platform::passFirewallRightToChildren() ? 1 : 0);
        std::fflush(stdout);
        const pid_t child = ::fork();
        if (child == 0) {
            ::execl("/proc/self/exe", argv[0], "privileges", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    if (argc == 2 && std::strcmp(argv[1], "adapters") == 0) {
        static const char *const types[] = {"Other", "Ethernet", "Wireless"};
        for (const platform::Adapter &adapter : platform::adapters()) {
            std::printf("ADAPTER %s %s %u %s %s\n", adapter.name.c_str(),
                types[static_cast<int>(adapter.type)], adapter.hardwareAddressLength,
                adapter.hardwareAddress.empty() ? "-" : adapter.hardwareAddress.c_str(),
                adapter.firstIpv4.empty() ? "-" : adapter.firstIpv4.c_str());
        }
        return 0;
    }
    std::fprintf(stderr, "usage: %s privileges|pass-on|adapters\n", argv[0]);
    return 2;
}
