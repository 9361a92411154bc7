#include "storage/FileDataAdapter.h"

#include "storage/DBDataAdapter.h"
#include "storage/FileSafety.h"

namespace zorvex {

void TFileDataAdapter::GetData(const std::string& Param, TMeasureDataP& Data) {
    CheckFilePath(Param);
    TDBDataAdapter store;
    store.GetData(Param, Data);
}

void TFileDataAdapter::PutData(TMeasureDataP& Data, const std::string& Param) {
    // The records go into a new file beside the old one, which is replaced
    // only once they are all stored: a failed save leaves the old file whole.
    TReplacementFile file(Param);
    TDBDataAdapter store;
    store.PutData(Data, file.TempPath());
    file.Commit();
}

}  // namespace zorvex
