#include "storage/Levels.h"

#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/AuditLog.h"
#include "storage/Database.h"
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
    RunAudited(db, [&] {
        // What is stored now, exactly; none for a missing row.
        std::optional<std::string> before;
        const auto stored = db.Query("select value from maxlevels where name LIKE ?", {LevelNames[index]});
        if (!stored->AtEnd()) {
            const auto number = stored->FloatAt(0);
            before = number ? AuditNumber(*number) : stored->TextAt(0);
        }
        db.Execute("update maxlevels set value=? where name LIKE ?", {value, LevelNames[index]});
        // A file whose row of this level was removed gets it back, in the form a
        // new file has it, so that saving a level repairs what loading reports.
        if (db.Changes() == 0) db.Execute(std::string(kInsertLevelSql), {LevelNames[index], value});
        const std::string after = AuditNumber(value);
        if (before != after) AppendAudit(db, {audit::kLevel, "maxlevels", LevelNames[index], "value", before, after});
    });
}

TLimitTable LimitTableOf(const TLevels& levels) {
    TLimitTable table{};
    for (int band = 0; band < 3; ++band) table[kKind50Hz][band] = {levels[msfMF50hz], levels[msfEF50hz]};
    table[kKindSvtMagnetic][kBandLow] = {levels[msfMFLB], levels[msfMFLB]};
    table[kKindSvtMagnetic][kBandHigh] = {levels[msfMFHB], levels[msfMFHB]};
    table[kKindSvtMagnetic][kBandMid] = {-1.0, -1.0};
    table[kKindSvtElectric][kBandLow] = {levels[msfEFLB], levels[msfEFLB]};
    table[kKindSvtElectric][kBandHigh] = {levels[msfEFHB], levels[msfEFHB]};
    table[kKindSvtElectric][kBandMid] = {-1.0, -1.0};
    for (const int kind : {kKindMagnetic, kKindElectric})
        for (int band = 0; band < 3; ++band) table[kind][band] = {999999.0, 999999.0};
    return table;
}

std::optional<double> LevelOf(const TLimitTable& limits, int kind, int band, int slot) {
    // The 50 Hz levels hold in every band, also under a band code no band has.
    if (kind == kKind50Hz) band = kBandLow;
    if (kind < 0 || kind > kKindSvtElectric || band < 0 || band > 2 || slot < 0 || slot > 1) return std::nullopt;
    const double level = limits[kind][band][slot];
    if (!(level >= 0)) return std::nullopt;
    return level;
}

}  // namespace zorvex
