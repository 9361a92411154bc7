#include "storage/Levels.h"

#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {

const std::array<std::string, kSubfieldCount> LevelNames = {"",        "swtmflb", "swtmfhb", "swteflb",
                                                            "swtefhb", "mf50hz",  "ef50hz"};

const TLevels kLevelDefaults = {0, 250, 25, 25, 2.5, 5000, 500};

const std::array<std::string, kSubfieldCount> kLevelLabels = {
    "",
    "СВТ Магнитное поле (5Гц - 2кГц)",
    "СВТ Магнитное поле (2кГц - 400кГц)",
    "СВТ Электрическое поле (5Гц - 2кГц)",
    "СВТ Электрическое поле (2кГц - 400Гц)",
    "50Гц, Магнитное поле",
    "50Гц Электрическое поле",
};

void LoadLevels(TSQLiteDatabase& db, TLevels& levels) {
    for (int index = 0; index < kSubfieldCount; ++index) {
        const std::string text = db.ScalarText("select value from maxlevels where name LIKE ?", {LevelNames[index]});
        levels[index] = StrToFloat(text);
    }
}

void SetLevel(TSQLiteDatabase& db, TLevels& levels, int index, double value) {
    Assert(index >= 0 && index < kSubfieldCount, "uMain");
    levels[index] = value;
    db.Execute("update maxlevels set value=? where name LIKE ?", {value, LevelNames[index]});
}

}  // namespace zorvex
