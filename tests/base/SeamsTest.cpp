#include <gtest/gtest.h>

#include <memory>

#include "base/Clock.h"
#include "base/Prompts.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;

TEST(Seams, ScopedPromptsAreUsedAndRestored) {
    auto fake = std::make_shared<test::ScriptedPrompts>();
    fake->confirmAnswers = {true};
    {
        PromptsScope scope(fake);
        Prompts().ShowMessage("Карта памяти пуста", "", MessageIcon::Information);
        EXPECT_TRUE(Prompts().Confirm("Удалить?", "Внимание"));
    }
    ASSERT_EQ(fake->Messages().size(), 1u);
    EXPECT_EQ(fake->Messages()[0], "Карта памяти пуста");
    // Outside the scope the silent default answers No and shows nothing to the fake.
    EXPECT_FALSE(Prompts().Confirm("?", ""));
    EXPECT_EQ(fake->shown.size(), 2u);
}

TEST(Seams, FixedClockAndSeededRandom) {
    const TDateTime moment = EncodeDateTime(2010, 5, 19, 12, 0, 0, 0);
    {
        ClockScope clock(std::make_shared<FixedClock>(moment));
        EXPECT_EQ(Now(), moment);
    }
    EXPECT_NE(Now(), moment);

    RandomSource().Seed(7);
    const int a = Random(1000), b = Random(1000);
    RandomSource().Seed(7);
    EXPECT_EQ(Random(1000), a);
    EXPECT_EQ(Random(1000), b);
    for (int i = 0; i < 100; ++i) {
        const int r = Random(3);
        EXPECT_TRUE(r >= 0 && r < 3);
    }
    EXPECT_EQ(Random(0), 0);
}
