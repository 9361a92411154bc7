#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvex {

class TSQLiteDatabase;

// What a check of the stored data against what the meter recorded finds.
//
// Each kept memory image is read again and must hash to the fingerprint
// stored with its download, and decoded again with the download's decoder:
// the k-th record of the image (in store order) is the k-th record the
// download linked, and that row must still hold what the meter recorded:
// method, kind, time, number, band, rejection and the four values. The
// workplace and the height are the user's notes, edited through the program
// and audited, and are not compared. A row another link brought first (the
// USB link gives the same reading differently) passes when it matches as the
// download matched it (SameAcrossLinks). A linked row that is gone counts as
// deleted outside the program unless "Очистить историю измерений" took it,
// which its entry in the audit log tells.
struct TIntegrityIssue {
    // Stable kinds: image-missing, image-altered, image-unreadable,
    // records-relinked, record-deleted, record-changed, protocol-file-missing,
    // protocol-file-altered, audit-gap, audit-unprotected.
    std::string kind;
    std::string object;  // "download 12", "measurement 345", "protocol 3", "auditlog"
    std::string text;    // the difference in Russian, one line
};

struct TIntegrityReport {
    std::size_t downloads = 0;                 // recorded downloads
    std::size_t images = 0;                    // of them with a kept memory image
    std::size_t imagesWithoutFingerprint = 0;  // kept by a version that stored none
    std::size_t imagesPending = 0;             // still in the database, not yet in downloads/
    std::size_t records = 0;                   // rows compared with their image
    std::size_t recordsCleared = 0;            // linked rows removed by clearing the history
    std::size_t protocols = 0;
    std::size_t protocolsWithoutFingerprint = 0;
    std::size_t auditEntries = 0;
    std::vector<TIntegrityIssue> issues;

    bool Clean() const { return issues.empty(); }
};

// Called now and then with the downloads done and their number.
using TIntegrityProgress = std::function<void(std::size_t done, std::size_t total)>;

// Checks every recorded download of `db` and the audit log itself (entries
// removed, its protection dropped), adding to `report`. Reads only.
void VerifyDownloads(TSQLiteDatabase& db, TIntegrityReport& report, const TIntegrityProgress& progress = {});

// The whole check of the main database: VerifyDownloads, then every stored
// protocol's file against the fingerprint stored when the program wrote it
// (ProtocolFilePath). A protocol stored by a version that kept no fingerprint
// must still have its file, beside the database or in the former directory,
// and is counted as without fingerprint. Reads only.
TIntegrityReport VerifyIntegrity(const TIntegrityProgress& progress = {});

// The summary lines: what was checked and how many differences.
std::vector<std::string> IntegritySummary(const TIntegrityReport& report);

}  // namespace zorvex
