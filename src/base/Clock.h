#pragma once

#include <cstdint>
#include <memory>

#include "base/DateTime.h"

namespace zorvex {

// "Now" and random numbers come through here so that tests can fix them.
class IClock {
public:
    virtual ~IClock() = default;
    virtual TDateTime Now() = 0;  // local date and time
};

class IRandom {
public:
    virtual ~IRandom() = default;
    virtual void Seed(std::uint64_t seed) = 0;
    // Uniform integer in [0, range); 0 when range <= 0.
    virtual std::int32_t Next(std::int32_t range) = 0;
    // Uniform number in [0, 1).
    virtual double NextUnit() = 0;
};

TDateTime Now();
std::int32_t Random(std::int32_t range);
double RandomUnit();
// Seeds the program's generator from the system clock.
void Randomize();

IClock& Clock();
IRandom& RandomSource();

// Replace the clock or the generator while the guard lives.
class ClockScope {
public:
    explicit ClockScope(std::shared_ptr<IClock> clock);
    ~ClockScope();
    ClockScope(const ClockScope&) = delete;
    ClockScope& operator=(const ClockScope&) = delete;

private:
    std::shared_ptr<IClock> previous_;
};

class RandomScope {
public:
    explicit RandomScope(std::shared_ptr<IRandom> random);
    ~RandomScope();
    RandomScope(const RandomScope&) = delete;
    RandomScope& operator=(const RandomScope&) = delete;

private:
    std::shared_ptr<IRandom> previous_;
};

// A clock that stands still at a given moment until moved.
class FixedClock final : public IClock {
public:
    explicit FixedClock(TDateTime now) : now_(now) {}
    TDateTime Now() override { return now_; }
    void Set(TDateTime now) { now_ = now; }

private:
    TDateTime now_;
};

}  // namespace zorvex
