#include "platform/paths.h"

#include <cstdio>

int main(int, char** argv) {
    const ProgramPaths paths = programPaths(findProgramFolder(argv[0]));
    std::printf("Program folder laid out at %s; the window is not built yet.\n",
                paths.programFolder.c_str());
    return 0;
}
