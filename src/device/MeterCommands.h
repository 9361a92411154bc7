#pragma once

namespace zorvex {

// Erases the meter's records through the driver link by writing 0 to the
// count of stored single measurements. Raises "Устройство не найдено" when
// no meter answers and "Ошибка обмена" when the write is not acknowledged;
// the link is closed on every way out.
void ClearMeterMemory();

}  // namespace zorvex
