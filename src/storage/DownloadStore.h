#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/DateTime.h"
#include "base/Exceptions.h"
#include "device/DownloadInfo.h"
#include "model/MeasureModel.h"

namespace zorvex {

// Downloads kept in the main database: every record once, each download with
// the meter that made it, and the raw memory of driver-link downloads.
//
// A record equals a stored row when method, kind, time (to the second),
// number, band, rejection and the four values are all the same; workplace and
// height are the user's notes and do not count; a record of the other link
// matches as RecordMatching.h says. Records are matched one to one: a
// download holding two equal records (a monitoring run at interval 0 over a
// steady field) keeps both, and downloading it again matches each to its own
// stored row.

struct TStoreCounts {
    std::size_t added = 0, skipped = 0;
    // Why the download's memory image is not in downloads/ yet although its
    // records are stored; empty when it is (or there is none). The image then
    // waits in the database for the next start (FinishPendingDownloads).
    std::string imageProblem;
    bool operator==(const TStoreCounts&) const = default;
};

// What the user is told when `counts.imageProblem` is set; empty otherwise.
std::string PendingImageNotice(const TStoreCounts& counts);

// How many of the matrix's records, downloaded over `link`, are new to the
// main database and how many equal a stored row (RecordMatching.h). Reads only.
TStoreCounts CountNewMeasurements(const TMeasureDataP& data, std::string_view link);
// The same for the records of each method.
std::array<TStoreCounts, kMethodCount> CountNewMeasurementsByMethod(const TMeasureDataP& data, std::string_view link);

// Raised by StoreDownload when it was told to stop before its commit.
class EDownloadStopped : public Exception {
public:
    EDownloadStopped();
};

// In one write transaction on the main database: stores every record not
// already stored (a skipped one becomes its stored row: id, values, number and
// the user's notes; a new one takes its new id), records the download in
// `downloads` with its counts, links each of its records to it in
// `downloadrecords`, stores a non-empty image's SHA-256 in
// `downloadfingerprints` and keeps the image in `downloadimages` until,
// right after the commit, it is written as
// downloads/<yyyy-mm-dd hh-nn-ss>-<serial or "unknown">.bin beside the main
// database file. So a download killed at any moment leaves its row and its
// image, or neither, once FinishPendingDownloads has run at the next start.
// `goOn`, when given, is asked right before the commit; false rolls back and
// raises EDownloadStopped. A time of 0 in `info` stands for now. When it
// fails nothing is stored, no image file is written and the records keep the
// ids they had.
TStoreCounts StoreDownload(TMeasureDataP& data, const TDownloadInfo& info, const std::function<bool()>& goOn = {});

// Writes the images of committed downloads still waiting in the main database
// into downloads/ (a process killed after its commit leaves them there) and
// removes the temporary files of such writes that did not finish. Run when a
// program opens its database. Never raises: what cannot be done now is left
// for the next start. Returns how many images it wrote.
std::size_t FinishPendingDownloads() noexcept;

// The steps of StoreDownload, in order, for tests that stop a process at one.
enum class TDownloadStep { Begun, RecordsStored, BeforeCommit, Committed, ImageWritten, ImagePlaced, Finished };
inline constexpr const char* kDownloadStepNames[] = {"begun",         "records-stored", "before-commit", "committed",
                                                     "image-written", "image-placed",   "finished"};
// Called at every step of every StoreDownload of the process; empty for none.
void SetDownloadStepHook(std::function<void(TDownloadStep)> hook);

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
