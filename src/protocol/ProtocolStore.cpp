#include "protocol/ProtocolStore.h"

#include <filesystem>
#include <optional>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Paths.h"
#include "base/Prompts.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileSafety.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex {
namespace fs = std::filesystem;
namespace {

std::unique_ptr<ProtocolDirectoryScope::Directories>& DirectoryOverride() {
    static std::unique_ptr<ProtocolDirectoryScope::Directories> directories;
    return directories;
}

void DeleteRow(std::int32_t id) {
    MainDatabase().Execute("delete from protocols where id = " + IntToStr(id));
}

// The file of `id` in the layout's former protocol directory, when that is
// not the directory files are written to now.
std::optional<std::string> FormerProtocolFilePath(std::int32_t id) {
    const auto& scope = DirectoryOverride();
    if (scope && scope->formerDirectory.empty()) return std::nullopt;
    const fs::path current = PathFromUtf8(ProtocolDirectory());
    fs::path former;
    try {
        former = PathFromUtf8(scope ? scope->formerDirectory : DataLocations().formerProtocolDirectory);
    } catch (const Exception&) {
        return std::nullopt;  // no layout (an installed program without HOME): no former directory
    }
    std::error_code ec;
    if (fs::equivalent(current, former, ec) || current.lexically_normal() == former.lexically_normal())
        return std::nullopt;
    return Utf8FromPath(former / (IntToStr(id) + kProtocolFileExtension));
}

}  // namespace

std::string ProtocolDirectory() {
    if (const auto& scope = DirectoryOverride()) return scope->directory;
    if (HasMainDatabase()) {
        const std::string database = MainDatabase().FileName();
        if (!database.empty()) return ProtocolDirectoryOf(database);
    }
    EnsureDataDirectory();  // protocols/ is made on the first store; its parent must be private
    return DataLocations().formerProtocolDirectory;
}

ProtocolDirectoryScope::ProtocolDirectoryScope(std::string directory, std::string formerDirectory)
    : previous_(std::move(DirectoryOverride())) {
    DirectoryOverride() = std::make_unique<Directories>(Directories{std::move(directory), std::move(formerDirectory)});
}

ProtocolDirectoryScope::~ProtocolDirectoryScope() {
    DirectoryOverride() = std::move(previous_);
}

std::string ProtocolFilePath(std::int32_t id) {
    return Utf8FromPath(PathFromUtf8(ProtocolDirectory()) / (IntToStr(id) + kProtocolFileExtension));
}

TDateTime StoredProtocolDate(TDateTime pickedDate, TDateTime now) {
    const DateParts day = DecodeDate(pickedDate);
    const TimeParts time = DecodeTime(now);
    return EncodeDateTime(day.year, day.month, day.day, time.hour, time.minute, time.second, 0);
}

bool StoreProtocol(std::int32_t& protocolId, const std::string& numberText, TDateTime date, const std::string& consts,
                   const std::string& tabdata) {
    TSQLiteDatabase& db = MainDatabase();
    const std::string number = TrimBlanks(numberText);
    const std::string stamp = FileStamp(date);
    if (protocolId == 0) {
        db.Execute("insert into protocols (number, date, consts, tabdata) values(?,?,?,?)",
                   {number, stamp, consts, tabdata});
        protocolId = static_cast<std::int32_t>(db.LastRowId());
        return true;
    }
    db.Execute("update protocols set number=?, date=?, consts=?, tabdata=? where id=?",
               {number, stamp, consts, tabdata, protocolId});
    return false;
}

TFileOutcome WriteProtocolFile(std::int32_t& protocolId, bool insertedNow, TMeasureDataP& measurements) {
    const std::string path = ProtocolFilePath(protocolId);
    if (IsExistingFile(path) &&
        !Prompts().Confirm("Файл с имененим " + path + " уже существует, заменить?", "Подтверждение")) {
        if (!insertedNow) return TFileOutcome::StoredDeclined;
        DeleteRow(protocolId);
        protocolId = 0;
        return TFileOutcome::NewDeclined;
    }
    try {
        // Replaces the old file only once the new one holds every record; the
        // one writer allowed to replace a protocol's file.
        TReplacementFile file(path, TWriter::KeptFileStore);
        TDBDataAdapter().PutData(measurements, file.TempPath());
        file.Commit();
    } catch (const Exception&) {
        if (insertedNow) {
            DeleteRow(protocolId);
            protocolId = 0;
        }
        throw;
    }
    return TFileOutcome::Written;
}

TStoredProtocol ReadProtocol(std::int32_t id) {
    TSQLiteDatabase& db = MainDatabase();
    if (db.ScalarInt("select count(*) from protocols where id=?", {id}) == 0)
        throw Exception(Format("Протокол %d не найден", {id}));
    TStoredProtocol stored;
    stored.consts = db.ScalarText("select consts from protocols where id=?", {id});
    stored.tabdata = db.ScalarText("select tabdata from protocols where id=?", {id});
    const std::string path = ProtocolFilePath(id);
    std::string source = path;
    if (!IsExistingFile(path)) {
        const std::optional<std::string> former = FormerProtocolFilePath(id);
        if (!former || !IsExistingFile(*former)) {
            // Opening a missing file would create an empty one and the protocol would seem to have no workplaces.
            throw Exception(former ? "Не найден файл протокола: ни «" + path + "», ни «" + *former + "»"
                                   : "Не найден файл протокола: «" + path + "»");
        }
        source = *former;
    }
    TDBDataAdapter adapter;
    adapter.GetData(source, stored.measurements);
    return stored;
}

void DeleteProtocol(std::int32_t id) {
    MainDatabase().Execute("delete from protocols where id=?", {id});
    const std::string path = ProtocolFilePath(id);
    std::error_code ec;
    std::filesystem::remove(PathFromUtf8(path), ec);
    if (IsExistingFile(path)) throw Exception("Протокол удалён, но не удалось удалить его файл " + path + ".");
}

}  // namespace zorvex
