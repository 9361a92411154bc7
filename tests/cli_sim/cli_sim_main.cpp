// zorvex-cli with simulated meters plugged in, for the command-line tests:
// the same commands as the shipped tool, run as a process, with the driver
// link and the USB bus served by simulators given by the leading --sim-*
// options. The shipped binary talks to real devices only.
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/CliApp.h"
#include "base/Console.h"
#include "base/DateTime.h"
#include "base/Paths.h"
#include "base/RunSettings.h"
#include "device/DeviceLink.h"
#include "device/SimulatedMeter.h"
#include "device/SimulatedUsbBus.h"
#include "storage/DownloadStore.h"

using namespace zorvex;

namespace {

// Forwards to the simulated meter and raises SIGINT when a given reply read
// comes, as a user pressing Ctrl+C in the middle of a transfer.
class InterruptingBackend final : public IDriverBackend {
public:
    InterruptingBackend(std::shared_ptr<TSimulatedMeter> meter, int interruptAtRead)
        : meter_(std::move(meter)), interruptAtRead_(interruptAtRead) {}
    TDeviceHandle Open(int index) override { return meter_->Open(index); }
    bool Read(TDeviceHandle h, std::uint8_t* d, int count, int& received, TSystemError& e) override {
        if (++reads_ == interruptAtRead_) std::raise(SIGINT);
        return meter_->Read(h, d, count, received, e);
    }
    bool Write(TDeviceHandle h, const std::uint8_t* d, int count, int& written, TSystemError& e) override {
        return meter_->Write(h, d, count, written, e);
    }
    void Close(TDeviceHandle h) override { meter_->Close(h); }

private:
    std::shared_ptr<TSimulatedMeter> meter_;
    int interruptAtRead_;
    int reads_ = 0;
};

std::vector<std::uint8_t> ReadBytes(const std::string& file) {
    std::ifstream in(PathFromUtf8(file), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char* argv[]) {
    ApplyRunSettings();
    PrepareStandardStreams();
    std::vector<std::string> args = Utf8Arguments(argc, argv);
    std::string imageFile;
    bool absent = false;
    int ack = 0x11, interruptAt = 0;
    auto bus = std::make_shared<SimulatedUsbBus>();
    SimulatedUsbMeter* usbMeter = nullptr;
    std::size_t i = 0;
    for (; i + 1 < args.size() && args[i].rfind("--sim-", 0) == 0; i += 2) {
        const std::string& option = args[i];
        const std::string& value = args[i + 1];
        if (option == "--sim-image") imageFile = value;
        else if (option == "--sim-absent") absent = value == "1";
        else if (option == "--sim-ack") ack = std::stoi(value, nullptr, 0);
        else if (option == "--sim-interrupt-at-read") interruptAt = std::stoi(value);
        else if (option == "--sim-store-step") {  // "STEP:kill" or "STEP:interrupt", STEP as kDownloadStepNames
            const std::string name = value.substr(0, value.find(':'));
            const bool kill = value.ends_with(":kill");
            int step = 0;
            while (step < static_cast<int>(std::size(kDownloadStepNames)) && name != kDownloadStepNames[step]) ++step;
            if (step == static_cast<int>(std::size(kDownloadStepNames)) || (!kill && !value.ends_with(":interrupt"))) {
                std::cerr << "unknown store step " << value << "\n";
                return 2;
            }
            // Killed as by kill -9, or Ctrl+C pressed, when the download store reaches that step.
            SetDownloadStepHook([step, kill](TDownloadStep reached) {
                if (static_cast<int>(reached) != step) return;
#ifdef SIGKILL
                if (kill) std::raise(SIGKILL);
#else
                if (kill) std::_Exit(137);
#endif
                std::raise(SIGINT);
            });
        } else if (option == "--sim-usb-single") {  // "type,field,band,value"
            if (!usbMeter) usbMeter = &bus->AddMeter();
            UsbRecordReply reply;
            char comma = 0;
            int type = 0, field = 0, band = 0;
            std::istringstream in(value);
            in >> type >> comma >> field >> comma >> band >> comma >> reply.value;
            reply.type = static_cast<std::uint8_t>(type);
            reply.field = static_cast<std::uint8_t>(field);
            reply.band = static_cast<std::uint8_t>(band);
            reply.year = 2024, reply.month = 1, reply.day = 2, reply.hour = 3, reply.minute = 4, reply.second = 5;
            usbMeter->singles.push_back(EncodeUsbRecordReply(reply));
        } else {
            std::cerr << "unknown simulator option " << option << "\n";
            return 2;
        }
    }
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));

    auto meter = std::make_shared<TSimulatedMeter>(imageFile.empty() ? std::vector<std::uint8_t>(kMemoryImageSize, 0xFF)
                                                                      : ReadBytes(imageFile));
    meter->present = !absent && !imageFile.empty();
    meter->acknowledgement = static_cast<std::uint8_t>(ack);
    std::shared_ptr<IDriverBackend> backend = meter;
    if (interruptAt > 0) backend = std::make_shared<InterruptingBackend>(meter, interruptAt);
    int status = 0;
    {
        DriverBackendScope driverScope(backend);
        UsbBusScope busScope(bus);
        status = cli::RunCli(args, std::cout, std::cerr);
    }
    if (!imageFile.empty()) {  // the meter's memory after the run, for the tests to inspect
        std::ofstream out(PathFromUtf8(imageFile), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(meter->Image().data()),
                  static_cast<std::streamsize>(meter->Image().size()));
    }
    return status;
}
