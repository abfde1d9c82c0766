// Holds the single-instance lock of the name given, says so, and keeps it until stdin closes.
#include "single_instance.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2 || !AcquireSingleInstance(argv[1]))
        return 1;
    std::puts("held");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
