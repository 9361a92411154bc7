// Decodes arbitrary meter memories, served by a simulated meter and read from
// short image files, and checks what every download must keep to.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "device/DriverLoader.h"
#include "device/SLDeviceDataSource.h"
#include "device/SimulatedMeter.h"
#include "device/ZorvexDriver.h"

using namespace zorvex;

namespace {

constexpr int kHeaderStart = kHeaderSector * kSectorSize;

const std::string& ImagePath() {
    static const std::string path = Utf8FromPath(std::filesystem::temp_directory_path() /
                                                 ("fuzz_memory_image-" + std::to_string(getpid()) + ".img"));
    return path;
}

void Check(bool condition) {
    if (!condition) __builtin_trap();
}

void CheckMatrix(const TMeasureDataP& data) {
    for (int m = 0; m < kMethodCount; ++m)
        for (int k = 0; k < kKindCount; ++k) {
            Check(data(m, k).method == m);
            for (const auto& r : data(m, k).Records) {
                Check(r.kind == k);
                Check(r.band <= 2 && r.rejection <= 1);
                Check(r.mvalue2 == 0 && r.evalue2 == 0 && r.id == 0 && r.height == 0 && r.workplace == 0);
            }
        }
    std::size_t singles = 0, monitors = 0;
    for (int k = 0; k < kKindCount; ++k) {
        singles += data(kMethodSingle, k).Records.size();
        monitors += data(kMethodMonitoring, k).Records.size();
    }
    Check(singles <= 255 && monitors <= static_cast<std::size_t>(kMaxMonitorValues));
}

// One download; the progress contract is checked on every report.
void Download(const std::string& imageFile, std::optional<int> abortAt) {
    TSLDeviceDataSource source;
    source.ImageFile = imageFile;
    TMDProgress last;
    int reports = 0;
    source.OnProgress = [&](TMDProgress& p) {
        Check(p.Percent >= last.Percent && p.Percent <= 100);
        Check(p.Singles >= last.Singles && p.Monitors >= last.Monitors);
        last = p;
        return !(abortAt && reports++ == *abortAt);
    };
    TMeasureDataP data;
    try {
        source.GetData("", data);
        CheckMatrix(data);
    } catch (const Exception&) {
        // Time fields that form no date end a download with a conversion error.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::optional<int> abortAt = (data[0] & 1) != 0 ? std::optional<int>(data[0] * 37) : std::nullopt;

    // The meter: a whole memory as given, or the input repeated from sector 10
    // on so that short inputs still reach the header, the records and the series.
    std::vector<std::uint8_t> image(kMemoryImageSize, 0);
    if (size >= static_cast<std::size_t>(kMemoryImageSize)) {
        std::copy_n(data, kMemoryImageSize, image.begin());
    } else {
        for (int at = kHeaderStart; at < kMemoryImageSize; ++at) image[at] = data[(at - kHeaderStart) % size];
    }
    {
        auto meter = std::make_shared<TSimulatedMeter>(image);
        DriverBackendScope scope(meter);
        Download({}, abortAt);
        Check(!meter->IsOpen());

        TZorvexDriver driver;
        Check(driver.OpenDevice(0));
        try {
            driver.GetSerialNumber();
            driver.GetPowerOnCount();
            driver.GetRunningTime();
            driver.GetFirmwareVersion();
            driver.GetCalibrationDate();
        } catch (const Exception&) {
        }
    }

    // A short image file ending right after the input.
    {
        std::ofstream file(PathFromUtf8(ImagePath()), std::ios::binary | std::ios::trunc);
        const std::vector<char> zeros(kHeaderStart, 0);
        file.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
        file.write(reinterpret_cast<const char*>(data),
                   static_cast<std::streamsize>(std::min<std::size_t>(size, kMemoryImageSize - kHeaderStart)));
    }
    Download(ImagePath(), abortAt);
    return 0;
}
