#include <gtest/gtest.h>

#include <QLabel>
#include <QToolButton>
#include <memory>

#include "device/ImageBuilder.h"
#include "device/SimulatedMeter.h"
#include "device/ZorvexDriver.h"
#include "support/ScriptedPrompts.h"
#include "ui/PasportForm.h"

using namespace zorvex;

namespace {

class PassportDialog : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    std::shared_ptr<TSimulatedMeter> meter = std::make_shared<TSimulatedMeter>(
        TImageBuilder().SetPassport({1234, 57, 2560000, 0x00020003, {0, 0, 12, 15, 6, 23}}).Image());
    DriverBackendScope backendScope{meter};
};

TEST_F(PassportDialog, ShowsThePassportAndReadsItAgainOnTheButton) {
    TPasportForm dialog;
    int resets = 0;
    dialog.OnResetCalibrationDate = [&] { ++resets; };
    dialog.show();
    EXPECT_EQ(dialog.Label5->text(), "1234");
    EXPECT_EQ(dialog.Label9->text(), "2.3");
    EXPECT_EQ(dialog.Label6->text(), "57");
    EXPECT_EQ(dialog.Label7->text(), "1 мес 4 дней  06:50:00");
    EXPECT_EQ(dialog.Label11->text(), "15.06.2023");
    EXPECT_FALSE(meter->IsOpen());

    {
        TZorvexDriver driver;
        ASSERT_TRUE(driver.OpenDevice(0));
        ASSERT_TRUE(driver.WriteByte(kPowerOnCountOffset, 58));
    }
    dialog.SpeedButton1->click();
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(dialog.Label6->text(), "58");
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(PassportDialog, WithoutAMeterTheValuesKeepTheirNotFoundText) {
    meter->present = false;
    TPasportForm dialog;
    dialog.show();
    EXPECT_EQ(prompts->Messages(), std::vector<std::string>{"Устройство не найдено"});
    EXPECT_EQ(dialog.Label5->text(), "(устройство не наёдено)");
    EXPECT_EQ(dialog.Label11->text(), "99.99.9999");
    EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
