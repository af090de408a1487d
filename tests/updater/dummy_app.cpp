// The main program's stand-in: logs "<tag> <argument count> <working folder>" to launches.log
// in its working folder; with --wait it keeps running for a minute so that it can be ended.

#include <climits>
#include <cstring>
#include <fstream>
#include <unistd.h>

int main(int argc, char **argv)
{
    char cwd[PATH_MAX] = {};
    if (!getcwd(cwd, sizeof cwd))
        return 2;
    std::ofstream(std::string("launches.log"), std::ios::app)
        << DUMMY_TAG << ' ' << (argc - 1) << ' ' << cwd << '\n';
    if (argc > 1 && std::strcmp(argv[1], "--wait") == 0)
        sleep(60);
    return 0;
}
