#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex::archive {

class TPgConnection;

// Whole days firstDay..lastDay, both included; open where not given.
struct TArchiveFilter {
    std::optional<TDateTime> from, to;
    std::optional<int> method, kind;
    std::optional<std::string> workstation;  // its id or host name
    std::optional<std::int64_t> serial;      // the meter's serial number
};

struct TArchiveRecord {
    int method = 0;
    TMeasureRecord record;  // id is the archive's row id
    std::string workstation, host;
    std::optional<std::int64_t> serial;
};

// Measurements of every workstation, by method, kind, then time.
std::vector<TArchiveRecord> ListArchiveMeasurements(TPgConnection& conn, const TArchiveFilter& filter);

struct TArchiveProtocol {
    std::int64_t id = 0;  // the archive's id, for pull --protocol
    std::string number, dateText, organisation;
    std::string workstation, host, user;
    std::int64_t measurements = 0;
};

// The register: protocols whose date lies in the days given and whose
// organisation (field 1) holds `organisation` (any letter case), by date.
std::vector<TArchiveProtocol> ListArchiveProtocols(TPgConnection& conn, std::optional<TDateTime> from,
                                                   std::optional<TDateTime> to,
                                                   const std::optional<std::string>& organisation);

// The time bounds of whole days in the archive's text form; nothing for an open end.
std::optional<std::string> DayStart(std::optional<TDateTime> day);
std::optional<std::string> DayAfter(std::optional<TDateTime> day);

}  // namespace zorvex::archive
