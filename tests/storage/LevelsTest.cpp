#include <gtest/gtest.h>

#include "base/Exceptions.h"
#include "storage/Database.h"
#include "storage/Levels.h"
#include "support/RawSqlite.h"
#include "support/TempDir.h"

using namespace zorvex;
using zorvex::test::RawExec;
using zorvex::test::RawRows;
using zorvex::test::TempDir;

TEST(Levels, NewDatabaseGivesTheDefaults) {
    TempDir dir;
    auto db = OpenDatabase(dir.File("data.db"));
    TLevels levels{};
    LoadLevels(*db, levels);
    EXPECT_EQ(levels, (TLevels{0, 250, 25, 25, 2.5, 5000, 500}));
}

TEST(Levels, SetLevelWritesThroughToItsOwnRowOnly) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    auto db = OpenDatabase(file);
    TLevels levels = kLevelDefaults;
    SetLevel(*db, levels, msfEFHB, 7.5);
    SetLevel(*db, levels, msfMFLB, -1);
    EXPECT_EQ(levels[msfEFHB], 7.5);
    const auto rows = RawRows(file, "select value from maxlevels order by id");
    EXPECT_EQ(rows[4][0], "7.5");
    EXPECT_EQ(rows[1][0], "-1.0");
    EXPECT_EQ(rows[0][0], "0.0");  // the empty name matches only its own row
    EXPECT_EQ(rows[2][0], "25.0");

    TLevels reloaded{};
    LoadLevels(*db, reloaded);
    EXPECT_EQ(reloaded, levels);
}

TEST(Levels, AMissingRowStopsLoadingThereAndLaterLevelsKeepTheirValues) {
    TempDir dir;
    const std::string file = dir.File("data.db");
    OpenDatabase(file).reset();
    RawExec(file, "update maxlevels set value=1 where id=2; delete from maxlevels where id=4");
    auto db = OpenDatabase(file);
    TLevels levels = kLevelDefaults;
    try {
        LoadLevels(*db, levels);
        ADD_FAILURE();
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), "'' is not a valid floating point value");
    }
    EXPECT_EQ(levels, (TLevels{0, 1, 25, 25, 2.5, 5000, 500}));

    // Saving the level stores its row again, as a new file holds it, and
    // loading then succeeds; the other rows are untouched.
    SetLevel(*db, levels, msfEFLB, 3);
    EXPECT_EQ(RawRows(file, "select count(*) from maxlevels")[0][0], "7");
    EXPECT_EQ(RawRows(file, "select hex(name), typeof(value), value from maxlevels where id = 8")[0],
              (std::vector<std::string>{"73777465666C6200", "real", "3.0"}));  // "swteflb" and its zero byte
    SetLevel(*db, levels, msfEFLB, 4);  // then it is updated like any other
    EXPECT_EQ(RawRows(file, "select count(*), sum(value) from maxlevels")[0],
              (std::vector<std::string>{"7", "5532.5"}));
    TLevels reloaded{};
    LoadLevels(*db, reloaded);
    EXPECT_EQ(reloaded, (TLevels{0, 1, 25, 4, 2.5, 5000, 500}));
}

TEST(Levels, LevelOfEachKindBandAndSlot) {
    TLevels levels = kLevelDefaults;
    levels[msfEFHB] = -1;  // a level switched off by a negative value
    const TLimitTable table = LimitTableOf(levels);
    struct Case {
        int kind, band, slot;
        std::optional<double> level;
    };
    const std::vector<Case> cases = {
        {kKind50Hz, kBandLow, 0, 5000.0},
        {kKind50Hz, kBandMid, 1, 500.0},
        {kKindSvtMagnetic, kBandLow, 0, 250.0},
        {kKindSvtMagnetic, kBandHigh, 0, 25.0},
        {kKindSvtElectric, kBandLow, 1, 25.0},
        {kKindSvtElectric, kBandHigh, 1, std::nullopt},
        {kKindSvtMagnetic, kBandMid, 0, std::nullopt},
        {kKindMagnetic, kBandLow, 0, std::nullopt},
        {kKindElectric, kBandHigh, 1, std::nullopt},
        {kKindSvtMagnetic, 3, 0, std::nullopt},
        {-1, 0, 0, std::nullopt},
        {kKind50Hz, 0, 2, std::nullopt},
        {kKind50Hz, 7, 0, 5000.0},
        {kKindSvtElectric, 7, 1, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(LevelOf(table, c.kind, c.band, c.slot), c.level) << c.kind << " " << c.band << " " << c.slot;
    // Kinds 3 and 4 keep a limit no reading reaches, which the graph and the table compare with.
    EXPECT_EQ(table[kKindMagnetic][kBandLow][0], 999999.0);
}
