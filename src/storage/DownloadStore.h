#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/DateTime.h"
#include "device/DownloadInfo.h"
#include "model/MeasureModel.h"

namespace zorvex {

// Downloads kept in the main database: every record once, each download with
// the meter that made it, and the raw memory of driver-link downloads.
//
// A record equals a stored row when method, kind, time (to the second),
// number, band, rejection and the four values are all the same; workplace and
// height are the user's notes and do not count. Records are matched one to
// one: a download holding two equal records (a monitoring run at interval 0
// over a steady field) keeps both, and downloading it again matches each to
// its own stored row.

struct TStoreCounts {
    std::size_t added = 0, skipped = 0;
    bool operator==(const TStoreCounts&) const = default;
};

// How many of the matrix's records are new to the main database and how many
// equal a stored row. Reads only.
TStoreCounts CountNewMeasurements(const TMeasureDataP& data);

// In one transaction on the main database: stores every record not already
// stored (a skipped one takes its stored row's id, a new one its new id),
// records the download in `downloads` with its counts, links each of its
// records to it in `downloadrecords`, and writes a non-empty image as
// downloads/<yyyy-mm-dd hh-nn-ss>-<serial or "unknown">.bin beside the main
// database file (before the commit; removed again when the commit fails).
// A time of 0 in `info` stands for now. When it fails nothing is stored, no
// image file stays and the records keep the ids they had.
TStoreCounts StoreDownload(TMeasureDataP& data, const TDownloadInfo& info);

struct TDownloadRow {
    std::int64_t id = 0;
    TDateTime time = 0;
    std::string link;
    std::optional<std::int32_t> serialNumber;
    std::optional<std::string> firmware;
    std::optional<TDateTime> calibrationDate;
    std::int64_t added = 0, skipped = 0;
    std::string imageFile;  // absolute path or empty

    bool operator==(const TDownloadRow&) const = default;
};

// Every recorded download, oldest first; none in a database without the table.
std::vector<TDownloadRow> ListDownloads();
// The downloads that the given main-database measurement ids came from,
// oldest first, each once.
std::vector<TDownloadRow> DownloadsOfMeasurements(const std::vector<std::int32_t>& ids);
// For each of the given measurement ids that came from recorded downloads, the
// ids of those downloads (a few queries for any number of ids).
std::map<std::int32_t, std::vector<std::int64_t>> DownloadIdsOfMeasurements(const std::vector<std::int32_t>& ids);

}  // namespace zorvex
