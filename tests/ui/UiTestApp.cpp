// One QApplication for the whole widget test program; gtest_main provides main.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "base/RunSettings.h"

namespace {

class QtApplicationEnvironment final : public ::testing::Environment {
public:
    void SetUp() override {
        app_ = std::make_unique<QApplication>(argc_, argv_);
        zorvex::ResetNumericLocale();
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "test_ui";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

// gtest owns registered environments.
[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
