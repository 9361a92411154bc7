#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <memory>

#include "base/Clock.h"
#include "base/Paths.h"
#include "storage/DBDataAdapter.h"
#include "storage/Database.h"
#include "storage/SQLiteDatabase.h"
#include "storage/Utilities.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "ui/AboutForm.h"

using namespace zorvex;

namespace {

class AboutDialog : public ::testing::Test {
protected:
    test::TempDir dir;
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};

    AboutDialog() { SetMainDatabase(OpenDatabase(dir.File("data.db"))); }
    ~AboutDialog() override { SetMainDatabase(nullptr); }

    std::string ProgramWithVersion(std::uint16_t major, std::uint16_t minor) {
        const std::string path = dir.File("program");
        std::ofstream out(PathFromUtf8(path), std::ios::binary);
        out << "some code";
        const auto stamp = MakeVersionStamp(major, minor);
        out.write(reinterpret_cast<const char*>(stamp.data()), static_cast<std::streamsize>(stamp.size()));
        out << "more code";
        return path;
    }
};

TEST_F(AboutDialog, ShowsTheVersionAndTheNumberOfStoredMeasurements) {
    struct Case {
        std::string program;
        int stored;
        const char* text;
    };
    const Case cases[] = {
        {ProgramWithVersion(4, 0), 0, "Версия 4.0\nВ базе данных 0 измерений"},
        {dir.File("data.db"), 3, "Версия 1.0\nВ базе данных 3 измерений"},  // no version stamp
    };
    for (const Case& c : cases) {
        if (c.stored > 0) {
            TMeasureDataP data;
            data(kMethodSingle, kKindMagnetic).Records.resize(c.stored);
            TDBDataAdapter().PutData(data, "");
        }
        TAboutForm dialog;
        dialog.ProgramFileName = c.program;
        dialog.show();
        EXPECT_EQ(dialog.InfoLabel->text().toStdString(), c.text);
        EXPECT_TRUE(dialog.Timer1->isActive());
        dialog.Button1->click();
        EXPECT_FALSE(dialog.Timer1->isActive());
    }
    EXPECT_TRUE(prompts->Messages().empty());
}

TEST_F(AboutDialog, AFailedCountLeavesTheTextEmptyAndTheAnimationRunning) {
    MainDatabase().Execute("drop table measurements");
    TAboutForm dialog;
    dialog.show();
    ASSERT_EQ(prompts->shown.size(), 1u);
    EXPECT_EQ(prompts->shown[0].icon, MessageIcon::Error);
    EXPECT_TRUE(dialog.InfoLabel->text().isEmpty());
    EXPECT_TRUE(dialog.Timer1->isActive());
}

TEST(AboutAnimation, FadeMovesColouredPixelsAThirdTowardsTheBackground) {
    struct Case {
        QRgb before, after;
    };
    const Case cases[] = {
        {qRgb(0, 0, 0), qRgb(254, 254, 254)},        // |b - g - r| < 32: at once
        {qRgb(255, 255, 255), qRgb(254, 254, 254)},  // a fresh white picture too
        {qRgb(128, 192, 200), qRgb(170, 212, 218)},  // a disc: a third of the way
        {qRgb(254, 254, 254), qRgb(254, 254, 254)},
    };
    QImage picture(static_cast<int>(std::size(cases)), 1, QImage::Format_RGB32);
    for (int i = 0; i < picture.width(); ++i) picture.setPixel(i, 0, cases[i].before);
    FadePicture(picture);
    for (int i = 0; i < picture.width(); ++i) {
        const QRgb* row = reinterpret_cast<const QRgb*>(picture.constScanLine(0));
        EXPECT_EQ(row[i], cases[i].after & 0x00FFFFFFu) << i;  // the fourth byte becomes 0
    }
}

TEST(AboutAnimation, ShiftMovesTheLeftHalfLeftAndRepeatsIt) {
    QImage picture(100, 2, QImage::Format_RGB32);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 2; ++y) picture.setPixel(x, y, qRgb(x, y, 0));
    ShiftPicture(picture);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 35; ++x) EXPECT_EQ(qRed(picture.pixel(x, y)), x + 15) << x;
        for (int x = 35; x < 65; ++x) EXPECT_EQ(qRed(picture.pixel(x, y)), x) << x;  // untouched
        for (int x = 65; x < 100; ++x) EXPECT_EQ(qRed(picture.pixel(x, y)), x - 65 + 15) << x;
        EXPECT_EQ(qGreen(picture.pixel(70, y)), y);
    }
}

TEST(AboutAnimation, DiscsLieAroundTwoThirdsOfTheHeight) {
    class Lowest final : public IRandom {
    public:
        void Seed(std::uint64_t) override {}
        std::int32_t Next(std::int32_t) override { return 0; }
        double NextUnit() override { return 0; }
    };
    RandomScope scope(std::make_shared<Lowest>());
    QImage picture(439, 255, QImage::Format_RGB32);
    picture.fill(Qt::white);
    DrawDiscs(picture);
    // All eight at (W/2, 2H/3), 16 across, red 128, green 192, blue 128.
    EXPECT_EQ(picture.pixelColor(219 + 8, 170 + 8), QColor(128, 192, 128));
    EXPECT_EQ(picture.pixelColor(219 - 2, 170 + 8), QColor(Qt::white));
    EXPECT_EQ(picture.pixelColor(219 + 8, 170 + 18), QColor(Qt::white));
}

}  // namespace
