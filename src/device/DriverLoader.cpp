#include "device/DriverLoader.h"

#include <utility>

#include "base/Format.h"
#include "base/Prompts.h"

namespace zorvex {
namespace {

std::shared_ptr<IDriverBackend>& CurrentBackend() {
    static std::shared_ptr<IDriverBackend> current = MakeSystemDriverBackend();
    return current;
}

}  // namespace

EOSError::EOSError(const TSystemError& error)
    : Exception(Format("Системная ошибка. Код: %d.\n%s", {static_cast<long long>(error.code), error.text})),
      code_(error.code) {}

IDriverBackend& DriverBackend() {
    return *CurrentBackend();
}

std::shared_ptr<IDriverBackend> SharedDriverBackend() {
    return CurrentBackend();
}

DriverBackendScope::DriverBackendScope(std::shared_ptr<IDriverBackend> backend) : previous_(CurrentBackend()) {
    if (backend) CurrentBackend() = std::move(backend);
}

DriverBackendScope::~DriverBackendScope() {
    CurrentBackend() = std::move(previous_);
}

TAT89DriverLoader::~TAT89DriverLoader() {
    TAT89DriverLoader::CloseDevice();
}

bool TAT89DriverLoader::OpenDevice(int index) {
    // A second open must not leak the handle of the first.
    TAT89DriverLoader::CloseDevice();
    auto backend = SharedDriverBackend();
    handle_ = backend->Open(index);
    if (handle_ == kInvalidDeviceHandle) return false;
    backend_ = std::move(backend);
    return true;
}

void TAT89DriverLoader::CloseDevice() {
    if (handle_ != kInvalidDeviceHandle && backend_) backend_->Close(handle_);
    handle_ = kInvalidDeviceHandle;
    backend_.reset();
}

void TAT89DriverLoader::ReadData(std::uint8_t* destination, int count) {
    if (handle_ == kInvalidDeviceHandle || count <= 0) return;
    int received = 0;
    TSystemError error;
    if (!backend_->Read(handle_, destination, count, received, error)) throw EOSError(error);
    if (received != count) throw Exception(kExchangeErrorText);
}

bool TAT89DriverLoader::WriteCommand(const std::uint8_t* frame, std::uint8_t count) {
    if (handle_ == kInvalidDeviceHandle) return false;
    int written = 0;
    TSystemError error;
    if (!backend_->Write(handle_, frame, count, written, error)) {
        Prompts().ShowMessage(error.text, "Ошибка", MessageIcon::Error);
        return false;
    }
    // A frame that went out only in part is not a request; the caller reports the exchange error.
    return written == count;
}

}  // namespace zorvex
