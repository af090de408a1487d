// Stands in for the main program in installation tests: records each start
// ("<tag> <argument count> <working folder>") in launches.log of its working folder
// and, with --wait, keeps running for a minute so that it can be ended.

#include <chrono>
#include <climits>
#include <cstring>
#include <fstream>
#include <thread>
#include <unistd.h>

int main(int argc, char **argv)
{
    char cwd[PATH_MAX] = {};
    if (!getcwd(cwd, sizeof cwd))
        return 2;
    {
        std::ofstream log("launches.log", std::ios::app);
        log << DUMMY_TAG << ' ' << (argc - 1) << ' ' << cwd << '\n';
    }
    if (argc > 1 && std::strcmp(argv[1], "--wait") == 0) {
        for (int i = 0; i < 600; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return 0;
}
