#include "base/Clock.h"

#include <chrono>
#include <ctime>
#include <random>

namespace zorvex {
namespace {

class SystemClock final : public IClock {
public:
    TDateTime Now() override {
        const auto now = std::chrono::system_clock::now();
        const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
        std::tm local{};
#ifdef _WIN32
        localtime_s(&local, &seconds);
#else
        localtime_r(&seconds, &local);
#endif
        return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                              local.tm_sec > 59 ? 59 : local.tm_sec, static_cast<int>(ms));
    }
};

class MersenneRandom final : public IRandom {
public:
    void Seed(std::uint64_t seed) override { engine_.seed(seed); }
    std::int32_t Next(std::int32_t range) override {
        if (range <= 0) return 0;
        return std::uniform_int_distribution<std::int32_t>(0, range - 1)(engine_);
    }
    double NextUnit() override { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_); }

private:
    std::mt19937_64 engine_{0};
};

std::shared_ptr<IClock>& CurrentClock() {
    static std::shared_ptr<IClock> clock = std::make_shared<SystemClock>();
    return clock;
}

std::shared_ptr<IRandom>& CurrentRandom() {
    static std::shared_ptr<IRandom> random = std::make_shared<MersenneRandom>();
    return random;
}

}  // namespace

IClock& Clock() { return *CurrentClock(); }
IRandom& RandomSource() { return *CurrentRandom(); }

TDateTime Now() { return Clock().Now(); }
std::int32_t Random(std::int32_t range) { return RandomSource().Next(range); }
double RandomUnit() { return RandomSource().NextUnit(); }

void Randomize() {
    RandomSource().Seed(static_cast<std::uint64_t>(std::chrono::system_clock::now().time_since_epoch().count()));
}

ClockScope::ClockScope(std::shared_ptr<IClock> clock) : previous_(CurrentClock()) {
    if (clock) CurrentClock() = std::move(clock);
}
ClockScope::~ClockScope() { CurrentClock() = std::move(previous_); }

RandomScope::RandomScope(std::shared_ptr<IRandom> random) : previous_(CurrentRandom()) {
    if (random) CurrentRandom() = std::move(random);
}
RandomScope::~RandomScope() { CurrentRandom() = std::move(previous_); }

}  // namespace zorvex
