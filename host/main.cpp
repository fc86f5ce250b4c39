// reelhost: renders video through an effect bundle from the command line.
#include "commands.h"

int main(int argc, char** argv) {
    return reelhost::RunReelhost(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
