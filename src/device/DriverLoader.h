#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/Exceptions.h"

namespace zorvex {

// A device handle of the driver link; kInvalidDeviceHandle while nothing is open.
using TDeviceHandle = std::intptr_t;
inline constexpr TDeviceHandle kInvalidDeviceHandle = -1;

// An operating-system failure, as the system reports it.
struct TSystemError {
    std::uint32_t code = 0;
    std::string text;  // the system's message for the code, UTF-8
};

// A failure of the operating system while talking to the meter; carries the
// system error code.
class EOSError : public Exception {
public:
    explicit EOSError(const TSystemError& error);
    std::uint32_t Code() const { return code_; }

private:
    std::uint32_t code_;
};

// The operating system's side of the driver link: the only code that touches
// device functions. One program-wide instance, replaced in tests and demos.
class IDriverBackend {
public:
    virtual ~IDriverBackend() = default;
    // Opens the index-th present meter (0 = the first) for reading and
    // writing; kInvalidDeviceHandle when there is none or it cannot be opened.
    virtual TDeviceHandle Open(int index) = 0;
    // Reads up to `count` bytes; false with `error` filled on a failure.
    virtual bool Read(TDeviceHandle handle, std::uint8_t* destination, int count, int& received,
                      TSystemError& error) = 0;
    // Writes `count` bytes; false with `error` filled on a failure.
    virtual bool Write(TDeviceHandle handle, const std::uint8_t* data, int count, int& written,
                       TSystemError& error) = 0;
    virtual void Close(TDeviceHandle handle) = 0;
};

// The program-wide backend: the system's own until a scope replaces it.
IDriverBackend& DriverBackend();
std::shared_ptr<IDriverBackend> SharedDriverBackend();
// The system's backend: device functions on Windows, no device elsewhere.
std::shared_ptr<IDriverBackend> MakeSystemDriverBackend();

// Installs `backend` for as long as the guard lives, then restores the previous one.
class DriverBackendScope {
public:
    explicit DriverBackendScope(std::shared_ptr<IDriverBackend> backend);
    ~DriverBackendScope();
    DriverBackendScope(const DriverBackendScope&) = delete;
    DriverBackendScope& operator=(const DriverBackendScope&) = delete;

private:
    std::shared_ptr<IDriverBackend> previous_;
};

// Finds and opens the meter and moves bytes to and from it. Owns the handle:
// the destructor closes it.
class TAT89DriverLoader {
public:
    TAT89DriverLoader() = default;
    virtual ~TAT89DriverLoader();
    TAT89DriverLoader(const TAT89DriverLoader&) = delete;
    TAT89DriverLoader& operator=(const TAT89DriverLoader&) = delete;

    // Opens the index-th present meter; a handle already open is closed first.
    virtual bool OpenDevice(int index);
    virtual void CloseDevice();
    // Reads exactly `count` bytes; nothing while closed. A system failure
    // raises EOSError; a reply shorter than asked raises "Ошибка обмена".
    void ReadData(std::uint8_t* destination, int count);
    // Writes the first `count` bytes of `frame`; false while closed. A system
    // failure shows the system's message and gives false.
    bool WriteCommand(const std::uint8_t* frame, std::uint8_t count);

    bool IsOpen() const { return handle_ != kInvalidDeviceHandle; }

private:
    TDeviceHandle handle_ = kInvalidDeviceHandle;
    // The backend that opened the handle serves it until it is closed.
    std::shared_ptr<IDriverBackend> backend_;
};

// Texts of the link's failures.
inline constexpr const char* kDeviceNotFoundText = "Устройство не найдено";
inline constexpr const char* kExchangeErrorText = "Ошибка обмена";

}  // namespace zorvex
