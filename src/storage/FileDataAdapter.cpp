#include "storage/FileDataAdapter.h"

#include <filesystem>

#include "base/Exceptions.h"
#include "storage/DBDataAdapter.h"
#include "storage/SQLiteDatabase.h"

namespace zorvex {

void TFileDataAdapter::GetData(const std::string& Param, TMeasureDataP& Data) {
    TDBDataAdapter store;
    store.GetData(Param, Data);
}

void TFileDataAdapter::PutData(TMeasureDataP& Data, const std::string& Param) {
    if (IsMainDatabaseFile(Param))
        throw Exception("Файл «" + Param + "» — основная база данных программы; выберите другое имя");
    std::error_code ec;
    std::filesystem::remove(Param, ec);
    if (ec && std::filesystem::exists(Param)) {
        throw Exception("Не удалось заменить файл «" + Param + "»: старый файл не удаляется");
    }
    TDBDataAdapter store;
    store.PutData(Data, Param);
}

}  // namespace zorvex
