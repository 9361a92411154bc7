#pragma once

#include <string>

#include "model/MeasureModel.h"

namespace zorvex {

// Measurement data files (*.zorvex): databases of the program's own format
// holding only measurements. `Param` is the file's name.
class TFileDataAdapter : public TMDAdapter {
public:
    // Appends every measurement of the file; an absent or empty file is
    // created with the schema and yields nothing.
    void GetData(const std::string& Param, TMeasureDataP& Data) override;
    // Replaces the file by one holding exactly the matrix's records, written
    // beside it first (TReplacementFile): records are never added to an old
    // file, and a failed save leaves the old file as it was. Refuses the file
    // of the main database, which replacing would destroy.
    void PutData(TMeasureDataP& Data, const std::string& Param) override;
};

inline constexpr const char* kDataFileExtension = ".zorvex";

}  // namespace zorvex
