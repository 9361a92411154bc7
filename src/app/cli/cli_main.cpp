// zorvex-cli: the meter and the stored data from a terminal.
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CliApp.h"
#include "base/Console.h"
#include "base/RunSettings.h"

#ifdef ZORVEX_CLI_PDF
#include "app/cli/pdf/ProtocolPdf.h"
#endif

int main(int argc, char* argv[]) {
    zorvex::ApplyRunSettings();
    zorvex::PrepareStandardStreams();
#ifdef ZORVEX_CLI_PDF
    zorvex::cli::SetProtocolPdfRenderer(zorvex::cli::RenderStoredProtocolPdf);
#endif
    const std::vector<std::string> args = zorvex::Utf8Arguments(argc, argv);
    return zorvex::cli::RunCli(args, std::cout, std::cerr);
}
