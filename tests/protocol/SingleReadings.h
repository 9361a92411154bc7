#pragma once

#include <cstdint>
#include <initializer_list>

#include "base/DateTime.h"
#include "model/MeasureModel.h"

namespace zorvex::test {

// One single measurement as the result tables see it.
struct M {
    int kind, workplace, height, band;
    double mvalue, evalue;
    TDateTime time = EncodeDateTime(2026, 3, 17, 10, 0, 0, 0);
};

// The readings as single measurements, each in the series of its kind, in the order given.
inline TMeasureDataP Matrix(std::initializer_list<M> records) {
    TMeasureDataP data;
    for (const M& m : records) {
        TMeasureRecord r;
        r.kind = static_cast<std::uint8_t>(m.kind);
        r.workplace = m.workplace;
        r.height = m.height;
        r.band = static_cast<std::uint8_t>(m.band);
        r.mvalue = m.mvalue;
        r.evalue = m.evalue;
        r.time = m.time;
        data(kMethodSingle, m.kind).Records.push_back(r);
    }
    return data;
}

}  // namespace zorvex::test
