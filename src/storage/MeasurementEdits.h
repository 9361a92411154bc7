#pragma once

#include <cstdint>

namespace zorvex {

class TSQLiteDatabase;

// The changes the user makes to stored measurements, each with its entry in
// the audit log in one transaction (inside the caller's, when one is open).

// "update measurements set workplace=? where id=?": the user's workplace
// number of stored measurement `id`. Nothing is written when the row holds
// that number already or does not exist.
void SetStoredWorkplace(TSQLiteDatabase& db, std::int32_t id, std::int32_t workplace);
// The same for the height ("update measurements set height=? where id=?").
void SetStoredHeight(TSQLiteDatabase& db, std::int32_t id, std::int32_t height);

// "Очистить историю измерений": "delete from measurements". The entry keeps
// how many rows went and the range of their ids, so that a check of the kept
// downloads tells these deletions from ones made outside the program.
void ClearMeasurementHistory(TSQLiteDatabase& db);

}  // namespace zorvex
