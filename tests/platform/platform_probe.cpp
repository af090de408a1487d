// Prints what the platform layer reports for the calling process, for tests that run it under
// another user, capability set or namespace:
//   platform_probe privileges  ->  "elevated=0|1 admin=0|1"
//   platform_probe pass-on     ->  "passed=0|1", then the privileges line of a child started after
//   platform_probe adapters    ->  "ADAPTER <name> <Other|Ethernet|Wireless> <length> <hw|-> <ipv4|->" each
#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *mode = argc == 2 ? argv[1] : "";
    if (std::strcmp(mode, "privileges") == 0) {
        std::printf("elevated=%d admin=%d\n", platform::isProcessElevated(), platform::isUserAdmin());
    } else if (std::strcmp(mode, "pass-on") == 0) {
        std::printf("passed=%d\n", platform::passFirewallRightToChildren());
        std::fflush(stdout);
        int status = 1;
        if (const pid_t child = ::fork(); child == 0)
            ::execl("/proc/self/exe", argv[0], "privileges", static_cast<char *>(nullptr));
        else
            ::waitpid(child, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    } else if (std::strcmp(mode, "adapters") == 0) {
        static const char *const types[] = {"Other", "Ethernet", "Wireless"};
        for (const platform::Adapter &a : platform::adapters()) {
            std::printf("ADAPTER %s %s %u %s %s\n", a.name.c_str(), types[static_cast<int>(a.type)],
                a.hardwareAddressLength, a.hardwareAddress.empty() ? "-" : a.hardwareAddress.c_str(),
                a.firstIpv4.empty() ? "-" : a.firstIpv4.c_str());
        }
    } else {
        std::fprintf(stderr, "usage: %s privileges|pass-on|adapters\n", argv[0]);
        return 2;
    }
    return 0;
}
