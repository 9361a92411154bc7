// The meter's device driver on Windows: the device is found by its interface
// class through SetupAPI and opened as a file.
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
// windows.h first: setupapi.h uses its types (GUID, HANDLE) without including it.
#include <windows.h>
// clang-format off
#include <setupapi.h>
// clang-format on

#include <memory>
#include <string>

#include "device/DriverLoader.h"

#ifdef _MSC_VER
#pragma comment(lib, "setupapi.lib")
#endif

namespace zorvex {
namespace {

// Interface class of the meter's driver {A05078E1-B033-11DA-B3AB-A0B1D4BE5A78}.
const GUID kMeterInterfaceClass = {0xA05078E1, 0xB033, 0x11DA, {0xB3, 0xAB, 0xA0, 0xB1, 0xD4, 0xBE, 0x5A, 0x78}};

std::string SystemMessage(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    const std::unique_ptr<wchar_t, decltype(&LocalFree)> owned(buffer, &LocalFree);
    if (length == 0 || buffer == nullptr) return {};
    std::wstring wide(buffer, length);
    while (!wide.empty() && (wide.back() == L'\r' || wide.back() == L'\n' || wide.back() == L' ')) wide.pop_back();
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0)
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), size, nullptr,
                            nullptr);
    return text;
}

TSystemError LastSystemError() {
    const DWORD code = GetLastError();
    return {code, SystemMessage(code)};
}

// Releases the device information set on every way out of OpenDevice.
struct DeviceInfoSet {
    HDEVINFO set;
    ~DeviceInfoSet() {
        if (set != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(set);
    }
};

class WindowsDriverBackend final : public IDriverBackend {
public:
    TDeviceHandle Open(int index) override {
        const DeviceInfoSet info{
            SetupDiGetClassDevsA(&kMeterInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
        if (info.set == INVALID_HANDLE_VALUE) return kInvalidDeviceHandle;

        SP_DEVICE_INTERFACE_DATA interfaceData{};
        interfaceData.cbSize = sizeof(interfaceData);
        if (!SetupDiEnumDeviceInterfaces(info.set, nullptr, &kMeterInterfaceClass, static_cast<DWORD>(index),
                                         &interfaceData))
            return kInvalidDeviceHandle;

        DWORD required = 0;
        SP_DEVINFO_DATA deviceData{};
        deviceData.cbSize = sizeof(deviceData);
        if (SetupDiGetDeviceInterfaceDetailA(info.set, &interfaceData, nullptr, 0, &required, &deviceData) ||
            required == 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return kInvalidDeviceHandle;

        // The buffer's size field holds the fixed part of the structure
        // (5 bytes in 32-bit programs, 8 in 64-bit ones), not the whole size.
        const auto buffer = std::make_unique<std::uint8_t[]>(required);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(info.set, &interfaceData, detail, required, nullptr, nullptr))
            return kInvalidDeviceHandle;

        const HANDLE handle = CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return kInvalidDeviceHandle;
        return reinterpret_cast<TDeviceHandle>(handle);
    }

    bool Read(TDeviceHandle handle, std::uint8_t* destination, int count, int& received, TSystemError& error) override {
        DWORD done = 0;
        const BOOL ok =
            ReadFile(reinterpret_cast<HANDLE>(handle), destination, static_cast<DWORD>(count), &done, nullptr);
        received = static_cast<int>(done);
        if (!ok) error = LastSystemError();
        return ok != FALSE;
    }

    bool Write(TDeviceHandle handle, const std::uint8_t* data, int count, int& written, TSystemError& error) override {
        DWORD done = 0;
        const BOOL ok = WriteFile(reinterpret_cast<HANDLE>(handle), data, static_cast<DWORD>(count), &done, nullptr);
        written = static_cast<int>(done);
        if (!ok) error = LastSystemError();
        return ok != FALSE;
    }

    void Close(TDeviceHandle handle) override { CloseHandle(reinterpret_cast<HANDLE>(handle)); }
};

}  // namespace

std::shared_ptr<IDriverBackend> MakeSystemDriverBackend() {
    return std::make_shared<WindowsDriverBackend>();
}

}  // namespace zorvex

#endif
