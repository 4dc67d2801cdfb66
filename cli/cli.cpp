#include "cli/cli.h"

#include <cstdio>

int RunCli(int argc, char** argv) {
    std::puts("vorlaxa-cli " VORLAXA_VERSION);
    return 0;
}
