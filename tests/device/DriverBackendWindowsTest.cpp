// The driver link's Windows backend where there is no meter (Wine, or a PC
// with nothing plugged in): no device is found, and a handle that fails gives
// the system's own code and message, in UTF-8.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "base/Paths.h"
#include "device/DriverLoader.h"
#include "support/TempDir.h"

using namespace zorvex;

TEST(DriverBackendWindows, WithoutAMeterNothingOpens) {
    const auto backend = MakeSystemDriverBackend();
    for (const int index : {0, 1, 7}) EXPECT_EQ(backend->Open(index), kInvalidDeviceHandle) << index;
    DriverBackendScope scope(backend);
    TAT89DriverLoader loader;
    EXPECT_FALSE(loader.OpenDevice(0));
    EXPECT_FALSE(loader.IsOpen());
}

TEST(DriverBackendWindows, AFailedHandleGivesTheSystemsCodeAndMessage) {
    // A file opened for reading only stands for a meter's handle that refuses
    // a write; a closed handle for one that went away.
    test::TempDir dir;
    const std::wstring name = (dir.path() / PathFromUtf8("прибор.bin")).wstring();
    const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const auto backend = MakeSystemDriverBackend();
    const auto handle = reinterpret_cast<TDeviceHandle>(file);
    const std::uint8_t frame[3] = {1, 2, 3};
    int written = -1;
    TSystemError error;
    EXPECT_FALSE(backend->Write(handle, frame, 3, written, error));
    EXPECT_EQ(written, 0);
    EXPECT_EQ(error.code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(error.text.empty());
    EXPECT_EQ(error.text.find('\r'), std::string::npos) << error.text;  // the line end is trimmed
    backend->Close(handle);

    std::uint8_t buffer[4];
    int received = -1;
    error = {};
    EXPECT_FALSE(backend->Read(handle, buffer, 4, received, error));
    EXPECT_EQ(received, 0);
    EXPECT_EQ(error.code, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
    const EOSError raised(error);
    EXPECT_EQ(raised.Message().rfind("Системная ошибка. Код: 6.\n", 0), 0u) << raised.Message();
    EXPECT_EQ(raised.Code(), 6u);
}

#endif  // _WIN32
