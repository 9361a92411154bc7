#include <gtest/gtest.h>

#include "model/MeasureModel.h"

using namespace zorvex;

TEST(MeasureModel, MatrixIsCopiedWhole) {
    TMeasureDataP original;
    original.SetMethodBytes();
    TMeasureRecord r;
    r.kind = 3;
    r.mvalue = 12.5;
    original(1, 3).Records.push_back(r);

    TMeasureDataP copy = original;
    copy(1, 3).Records.push_back(r);
    copy(1, 3).Records[0].mvalue = 99;

    EXPECT_EQ(original(1, 3).Records.size(), 1u);
    EXPECT_EQ(original(1, 3).Records[0].mvalue, 12.5);
    EXPECT_EQ(copy.TotalRecords(), 2u);
    EXPECT_EQ(original(1, 0).method, 1);
    EXPECT_EQ(original(0, 4).method, 0);
    EXPECT_TRUE(TMeasureDataP{}.IsEmpty());
}

TEST(MeasureModel, NewRecordIsAllZero) {
    const TMeasureRecord r{};
    EXPECT_EQ(r.id, 0);
    EXPECT_EQ(r.time, 0.0);
    EXPECT_EQ(r.mvalue, 0.0);
    EXPECT_EQ(r.band, 0);
}

namespace {
class CountingSource : public TMDSource {
public:
    int stopAfter = 100;
    int reports = 0;
    void GetData(const std::string&, TMeasureDataP& data) override {
        for (int i = 0; i < 5; ++i) {
            data(0, 0).Records.push_back({});
            TMDProgress p;
            p.Singles = i + 1;
            ++reports;
            if (!ReportProgress(p)) return;
        }
    }
};
}  // namespace

TEST(MeasureModel, ProgressCarriesTheTagAndStops) {
    CountingSource source;
    TMeasureDataP data;
    source.GetData("", data);  // no callback set: runs to the end
    EXPECT_EQ(source.reports, 5);

    CountingSource stopping;
    stopping.Tag = 17;
    std::vector<int> tags;
    stopping.OnProgress = [&](TMDProgress& p) {
        tags.push_back(p.Tag);
        return p.Singles < 2;
    };
    TMeasureDataP d2;
    stopping.GetData("", d2);
    EXPECT_EQ(stopping.reports, 2);
    EXPECT_EQ(tags, (std::vector<int>{17, 17}));
}
