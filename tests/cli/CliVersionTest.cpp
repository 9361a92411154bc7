// The version the shipped tool carries in its file (a version resource on
// Windows, a stamp elsewhere) is the project's, as the about dialog shows it.
#include <gtest/gtest.h>

#include "storage/Utilities.h"

TEST(CliVersion, TheProgramFileCarriesTheProjectVersion) {
    EXPECT_EQ(zorvex::FileVersionText(ZORVEX_CLI_PATH, "%d.%d"), ZORVEX_PROJECT_VERSION);
    EXPECT_EQ(zorvex::FileVersionText(ZORVEX_CLI_SIM_PATH, "%d.%d"), "1.0");  // carries none
}
