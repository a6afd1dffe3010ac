#include "server/commands/CommandLine.h"

#include <string>
#include <vector>

int main(int argc, char **argv)
{
    return server::runCommandLine(std::vector<std::string>(argv + 1, argv + argc));
}
