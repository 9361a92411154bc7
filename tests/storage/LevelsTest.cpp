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
    SetLevel(*db, levels, msfEFLB, 3);  // no row: nothing updated, nothing reported
    EXPECT_EQ(RawRows(file, "select count(*) from maxlevels")[0][0], "6");
}
