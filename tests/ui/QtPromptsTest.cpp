#include <gtest/gtest.h>

#include <QApplication>

#include "ui/QtPrompts.h"

// The Qt boxes are modal; here only that an installed instance replaces the
// silent default.
TEST(QtPrompts, InstallsAsTheProgramWideInstance) {
    int argc = 1;
    char name[] = "test_ui";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    auto prompts = std::make_shared<zorvex::QtPrompts>();
    zorvex::PromptsScope scope(prompts);
    EXPECT_EQ(&zorvex::Prompts(), prompts.get());
}
