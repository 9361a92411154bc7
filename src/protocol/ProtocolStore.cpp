#include "protocol/ProtocolStore.h"

#include <filesystem>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Format.h"
#include "base/Numbers.h"
#include "base/Prompts.h"
#include "storage/DBDataAdapter.h"
#include "storage/FileDataAdapter.h"
#include "storage/SQLiteDatabase.h"
#include "storage/StoredTimes.h"
#include "storage/Utilities.h"

namespace zorvex {
namespace {

std::unique_ptr<std::string>& DirectoryOverride() {
    static std::unique_ptr<std::string> directory;
    return directory;
}

void DeleteRow(std::int32_t id) {
    MainDatabase().Execute("delete from protocols where id = " + IntToStr(id));
}

}  // namespace

std::string ProtocolDirectory() {
    if (const auto& directory = DirectoryOverride()) return *directory;
    EnsureDataDirectory();  // protocols/ is made on the first store; its parent must be private
    return DataLocations().protocolDirectory;
}

ProtocolDirectoryScope::ProtocolDirectoryScope(std::string directory) : previous_(std::move(DirectoryOverride())) {
    DirectoryOverride() = std::make_unique<std::string>(std::move(directory));
}

ProtocolDirectoryScope::~ProtocolDirectoryScope() {
    DirectoryOverride() = std::move(previous_);
}

std::string ProtocolFilePath(std::int32_t id) {
    return (std::filesystem::path(ProtocolDirectory()) / (IntToStr(id) + kProtocolFileExtension)).string();
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
        // Replaces the old file only once the new one holds every record.
        TFileDataAdapter().PutData(measurements, path);
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
    if (IsExistingFile(path)) {
        TDBDataAdapter adapter;
        adapter.GetData(path, stored.measurements);
    }
    return stored;
}

void DeleteProtocol(std::int32_t id) {
    MainDatabase().Execute("delete from protocols where id=?", {id});
    const std::string path = ProtocolFilePath(id);
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (IsExistingFile(path)) throw Exception("Протокол удалён, но не удалось удалить его файл " + path + ".");
}

}  // namespace zorvex
