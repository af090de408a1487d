// The main program's stand-in: appends "<tag> <pid>" to launches.log in its working folder, then
// runs for a minute unless ended; the one built as "quitter" ends at once, as a broken build would.

#include <cstring>
#include <fstream>
#include <unistd.h>

int main()
{
    std::ofstream("launches.log", std::ios::app) << DUMMY_TAG << ' ' << ::getpid() << '\n';
    if (std::strcmp(DUMMY_TAG, "quitter") != 0)
        ::sleep(60);
}
