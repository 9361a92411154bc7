#include "storage/OrdinaryRows.h"

#include <sqlite3.h>

#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string_view>
#include <vector>

#include "base/CodePage1251.h"
#include "base/Exceptions.h"
#include "base/Numbers.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"

namespace zorvex {
namespace {

// The columns the store reads, in the order it looks them up.
enum Column {
    colId,
    colNumber,
    colWorkplace,
    colHeight,
    colMethod,
    colKind,
    colTime,
    colMValue,
    colEValue,
    colMValue2,
    colEValue2,
    colBand,
    colRejection,
    kColumnCount
};
constexpr std::array<std::string_view, kColumnCount> kColumnNames = {
    "id",     "number", "workplace", "height",  "method", "kind",     "time",
    "mvalue", "evalue", "mvalue2",   "evalue2", "band",   "rejection"};

bool SameNameAnyCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct StatementCloser {
    void operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }
};

}  // namespace

int ShortestDigits(double value) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific);
    int digits = 0;
    for (const char* p = buf; p != res.ptr && *p != 'e'; ++p)
        if (*p != '.') ++digits;
    return digits;
}

bool ReadOrdinaryRows(TSQLiteDatabase& db, const std::string& sql, TMeasureDataP& Data, std::int64_t& skipped) {
    sqlite3_stmt* raw = nullptr;
    const std::string encoded = Utf8ToCp1251(sql);
    if (sqlite3_prepare_v2(db.Handle(), encoded.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        sqlite3_finalize(raw);
        return false;
    }
    const std::unique_ptr<sqlite3_stmt, StatementCloser> stmt(raw);
    if (!raw) return false;
    std::array<int, kColumnCount> at{};
    const int columns = sqlite3_column_count(raw);
    for (int k = 0; k < kColumnCount; ++k) {
        at[k] = -1;
        for (int c = 0; c < columns && at[k] < 0; ++c)
            if (SameNameAnyCase(sqlite3_column_name(raw, c), kColumnNames[k])) at[k] = c;
        if (at[k] < 0) return false;
        // The general path reads every declared column as text, as the
        // schema's lower-case types mean whatever name SQLite reports; a
        // column without a declared type it reads by the value's own type.
        if (!sqlite3_column_decltype(raw, at[k])) return false;
    }
    // An integer as its decimal text would convert; other values give up.
    const auto integer = [&](int k, std::int32_t& out) {
        if (sqlite3_column_type(raw, at[k]) != SQLITE_INTEGER) return false;
        const std::int64_t v = sqlite3_column_int64(raw, at[k]);
        if (v < std::numeric_limits<std::int32_t>::min() || v > std::numeric_limits<std::int32_t>::max()) return false;
        out = static_cast<std::int32_t>(v);
        return true;
    };
    const auto number = [&](int k, double& out) {
        const int type = sqlite3_column_type(raw, at[k]);
        if (type == SQLITE_INTEGER) {
            const std::int64_t v = sqlite3_column_int64(raw, at[k]);
            // Up to 15 digits: exact as a double and in a 15-digit text alike.
            if (v <= -1000000000000000 || v >= 1000000000000000) return false;
            out = static_cast<double>(v);
            return true;
        }
        if (type != SQLITE_FLOAT) return false;
        const double v = sqlite3_column_double(raw, at[k]);
        if (!std::isfinite(v)) return false;
        if (v != 0 && ShortestDigits(v) <= 15) {
            out = v;
            return true;
        }
        // More digits than the text keeps, or a zero that may carry a sign:
        // parse the very text the general path would.
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, at[k]));
        if (!text) return false;
        const auto parsed = TryStrToFloat(std::string_view(text, std::strlen(text)));
        if (!parsed) return false;
        out = *parsed;
        return true;
    };
    // Kept apart until every row is read: a give-up leaves `Data` as it was.
    std::array<std::vector<TMeasureRecord>, kMethodCount * kKindCount> staged;
    std::int64_t outside = 0;
    for (;;) {
        const int rc = sqlite3_step(raw);
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) return false;
        TMeasureRecord r;
        std::int32_t method = 0, kind = 0, band = 0, rejection = 0;
        if (!integer(colId, r.id) || !integer(colMethod, method) || !integer(colKind, kind) ||
            !integer(colBand, band) || !integer(colNumber, r.number) || !integer(colWorkplace, r.workplace) ||
            !integer(colHeight, r.height) || !integer(colRejection, rejection) || !number(colMValue, r.mvalue) ||
            !number(colMValue2, r.mvalue2) || !number(colEValue, r.evalue) || !number(colEValue2, r.evalue2))
            return false;
        if (sqlite3_column_type(raw, at[colTime]) != SQLITE_TEXT) return false;
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, at[colTime]));
        if (!text) return false;
        const std::string_view time(text, std::strlen(text));  // up to the stored zero byte
        for (const char c : time)
            if (static_cast<unsigned char>(c) >= 0x80) return false;
        try {
            r.time = ParseStoredTime(time);
        } catch (const Exception&) {
            return false;
        }
        r.band = static_cast<std::uint8_t>(band);
        r.rejection = static_cast<std::uint8_t>(rejection);
        r.kind = static_cast<std::uint8_t>(kind);
        if (method >= 0 && method < kMethodCount && kind >= 0 && kind < kKindCount)
            staged[static_cast<std::size_t>(method * kKindCount + kind)].push_back(r);
        else
            ++outside;
    }
    skipped = outside;
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) {
            std::vector<TMeasureRecord>& rows = staged[static_cast<std::size_t>(m * kKindCount + k)];
            if (rows.empty()) continue;
            TMeasureSeries& series = Data(m, k);
            series.method = static_cast<std::uint8_t>(m);
            if (series.Records.empty())
                series.Records = std::move(rows);
            else
                series.Records.insert(series.Records.end(), rows.begin(), rows.end());
        }
    return true;
}

}  // namespace zorvex
