#include <gtest/gtest.h>

#include "ui/QtPrompts.h"

// The Qt boxes are modal; here only that an installed instance replaces the
// silent default.
TEST(QtPrompts, InstallsAsTheProgramWideInstance) {
    auto prompts = std::make_shared<zorvex::QtPrompts>();
    zorvex::PromptsScope scope(prompts);
    EXPECT_EQ(&zorvex::Prompts(), prompts.get());
}
