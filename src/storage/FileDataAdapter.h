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
    // Replaces the file by one holding exactly the matrix's records. When an
    // old file exists and cannot be removed, raises Exception and writes
    // nothing, so records are never added to an old file. Refuses the file of
    // the main database, which replacing would destroy.
    void PutData(TMeasureDataP& Data, const std::string& Param) override;
};

inline constexpr const char* kDataFileExtension = ".zorvex";

}  // namespace zorvex
