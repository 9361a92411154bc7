#pragma once

#include <string>

#include "model/MeasureModel.h"

namespace zorvex {

// Fills a matrix with made-up records so that the windows can be tried without
// a meter. Asks for method, kind, band and rejection in input boxes; values
// wander like a random walk, times are the current time.
class TTestDataSource : public TMDSource {
public:
    // Param is ignored. A non-numeric entry raises the integer conversion
    // error; a kind outside 0..4 is refused.
    void GetData(const std::string& Param, TMeasureDataP& Data) override;
};

}  // namespace zorvex
