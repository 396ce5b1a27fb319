// make_defaults OUTPUT: writes the default profile repository
// (defaults.dprepo) that the release ships.
#include <cstdio>

#include "baselib/svr_error.h"
#include "tools/profile_defaults/default_profiles.h"

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_defaults OUTPUT\n");
        return 2;
    }
    try {
        profile_defaults::writeDefaultRepository(Solvaris::String(argv[1]));
    } catch (const Solvaris::Exception& e) {
        std::fprintf(stderr, "make_defaults: %s\n", e.message().c_str());
        return 1;
    }
    return 0;
}
