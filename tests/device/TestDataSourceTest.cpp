#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "base/Exceptions.h"
#include "device/TestDataSource.h"
#include "support/ScriptedPrompts.h"

using namespace zorvex;

namespace {

// Plays back a fixed cycle of uniform numbers.
class CyclingRandom final : public IRandom {
public:
    explicit CyclingRandom(std::vector<double> units) : units_(std::move(units)) {}
    void Seed(std::uint64_t) override {}
    std::int32_t Next(std::int32_t) override { return 0; }
    double NextUnit() override { return units_[next_++ % units_.size()]; }
    std::size_t calls() const { return next_; }

private:
    std::vector<double> units_;
    std::size_t next_ = 0;
};

// Moves on by one second each time it is read.
class TickingClock final : public IClock {
public:
    TDateTime Now() override { return start + (reads++) / 86400.0; }
    const TDateTime start = EncodeDateTime(2024, 5, 17, 9, 0, 0, 0);
    int reads = 0;
};

class TestSource : public ::testing::Test {
protected:
    std::shared_ptr<test::ScriptedPrompts> prompts = std::make_shared<test::ScriptedPrompts>();
    PromptsScope promptsScope{prompts};
    std::shared_ptr<TickingClock> clock = std::make_shared<TickingClock>();
    ClockScope clockScope{clock};
    // 0.4 * 0.75 - 0.4 * 0.25 = 0.2: every value is |0.2 * spread + base|.
    std::shared_ptr<CyclingRandom> random = std::make_shared<CyclingRandom>(std::vector<double>{0.75, 0.25});
    RandomScope randomScope{random};
    TTestDataSource source;
    TMeasureDataP data;

    void Answer(std::vector<std::optional<std::string>> answers) {
        prompts->inputAnswers.assign(answers.begin(), answers.end());
    }
};

TEST_F(TestSource, MonitoringGivesSixRecordsAtOneTimeWithFourWanderingValues) {
    Answer({"1", "0", "2", "1"});
    data(0, 0).Records.push_back({});
    data(1, 0).Records.resize(9);

    source.GetData("auto", data);

    const auto& records = data(1, 0).Records;
    ASSERT_EQ(records.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        const TMeasureRecord& r = records[i];
        EXPECT_EQ(r.number, i + 1);
        EXPECT_EQ(r.kind, 0);
        EXPECT_EQ(r.time, clock->start);
        // Spread 600: each value is 120 above the previous record's magnetic value.
        const double expected = 120.0 * (i + 1);
        EXPECT_DOUBLE_EQ(r.mvalue, expected);
        EXPECT_DOUBLE_EQ(r.evalue, expected);
        EXPECT_DOUBLE_EQ(r.mvalue2, expected);
        EXPECT_DOUBLE_EQ(r.evalue2, expected);
        EXPECT_EQ(r.band, 2);
        EXPECT_EQ(r.rejection, 1);
        EXPECT_EQ(r.id, 0);
        EXPECT_EQ(r.workplace, 0);
        EXPECT_EQ(r.height, 0);
    }
    EXPECT_EQ(data(1, 0).method, 1);
    EXPECT_EQ(clock->reads, 1);
    EXPECT_EQ(random->calls(), 6u * 4u * 2u);
    EXPECT_EQ(data(0, 0).Records.size(), 1u);  // no other series is touched
    EXPECT_EQ(data.TotalRecords(), 7u);

    ASSERT_EQ(prompts->shown.size(), 4u);
    const char* asked[] = {"Method", "Kind", "band", "rejection"};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(prompts->shown[i].kind, "input");
        EXPECT_EQ(prompts->shown[i].text, asked[i]);
        EXPECT_EQ(prompts->shown[i].caption, "");
    }
}

TEST_F(TestSource, SinglesFillTheKindAndAppendSixMoreAmongSvtMagneticRecords) {
    Answer({"0", "3", std::nullopt, std::nullopt});  // Cancel keeps "0"
    data(0, 3).Records.resize(2);
    data(0, 1).Records.resize(1);
    data(1, 3).Records.resize(1);

    source.GetData("auto", data);

    ASSERT_EQ(data(0, 3).Records.size(), 6u);
    ASSERT_EQ(data(0, 1).Records.size(), 7u);
    std::vector<TMeasureRecord> made = data(0, 3).Records;
    made.insert(made.end(), data(0, 1).Records.begin() + 1, data(0, 1).Records.end());
    for (int i = 0; i < 12; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(made[i].number, i + 1);
        EXPECT_EQ(made[i].kind, i < 6 ? 3 : 1);
        EXPECT_EQ(made[i].time, clock->start + i / 86400.0);  // the time read for each record
        // Spread 300: the walk goes on across both groups.
        EXPECT_DOUBLE_EQ(made[i].mvalue, 60.0 * (i + 1));
        EXPECT_DOUBLE_EQ(made[i].evalue2, 60.0 * (i + 1));
        EXPECT_EQ(made[i].band, 0);
        EXPECT_EQ(made[i].rejection, 0);
    }
    EXPECT_EQ(data(1, 3).Records.size(), 1u);
    EXPECT_EQ(data.TotalRecords(), 14u);
}

TEST_F(TestSource, KindOneGivesTwelveRecordsInOneSeries) {
    Answer({"0", "1", "0", "0"});
    source.GetData("", data);
    ASSERT_EQ(data(0, 1).Records.size(), 12u);
    EXPECT_EQ(data(0, 1).Records.back().number, 12);
    EXPECT_EQ(data.TotalRecords(), 12u);
}

TEST_F(TestSource, ValuesStayNonNegativeWhenTheWalkGoesDown) {
    // 0.4 * 0.25 - 0.4 * 0.75 = -0.2: |-120 + 0| = 120, then |-120 + 120| = 0, then 120 again.
    random = std::make_shared<CyclingRandom>(std::vector<double>{0.25, 0.75});
    const RandomScope scope(random);
    Answer({"7", "4", "0", "0"});
    source.GetData("", data);
    const auto& records = data(1, 4).Records;
    ASSERT_EQ(records.size(), 6u);
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_DOUBLE_EQ(records[i].mvalue, i % 2 == 0 ? 120.0 : 0.0);
        EXPECT_DOUBLE_EQ(records[i].evalue, i % 2 == 0 ? 120.0 : 0.0);
    }
}

TEST_F(TestSource, EntriesAreReducedToTheirLowByte) {
    Answer({"256", "260", "258", "-255"});  // method 0, kind 4, band 2, rejection 1
    source.GetData("", data);
    ASSERT_EQ(data(0, 4).Records.size(), 6u);
    EXPECT_EQ(data(0, 4).Records[0].band, 2);
    EXPECT_EQ(data(0, 4).Records[0].rejection, 1);
}

TEST_F(TestSource, ANonNumericEntryIsAConversionError) {
    Answer({"0", "три"});
    try {
        source.GetData("", data);
        FAIL() << "no error";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'три' is not a valid integer value");
    }
    EXPECT_TRUE(data.IsEmpty());
}

TEST_F(TestSource, AKindBeyondTheMatrixIsRefused) {
    for (const char* kind : {"5", "255", "-1", "261"}) {
        SCOPED_TRACE(kind);
        Answer({"0", kind, "0", "0"});
        prompts->shown.clear();
        try {
            source.GetData("", data);
            ADD_FAILURE() << "accepted";
        } catch (const EConvertError&) {
            ADD_FAILURE() << "wrong error";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), std::string("Недопустимый вид поля: ") + kind + " (допустимо от 0 до 4)");
        }
        EXPECT_TRUE(data.IsEmpty());
        EXPECT_EQ(prompts->shown.size(), 2u);  // nothing more is asked
    }
}

}  // namespace
