// zorvex-cli: the meter and the stored data from a terminal.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CliApp.h"
#include "base/RunSettings.h"

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    const std::vector<std::string> args(argv + 1, argv + argc);
    return zorvex::cli::RunCli(args, std::cout, std::cerr);
}
