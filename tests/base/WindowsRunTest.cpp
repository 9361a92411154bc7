// What `make test-windows` promises of its run: a Russian Windows (ANSI code
// page 1251), a user profile and a program directory with Cyrillic names. The
// run sets ZORVEX_RUSSIAN_WINDOWS; elsewhere there is nothing to check.
#ifdef _WIN32
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/Paths.h"
#include "base/RunSettings.h"

using namespace zorvex;

namespace {

bool HasCyrillic(const std::string& utf8) {
    return utf8.find("\xD0") != std::string::npos || utf8.find("\xD1") != std::string::npos;
}

}  // namespace

TEST(WindowsRun, RussianCodePageAndCyrillicProfileAndProgramDirectory) {
    if (!_wgetenv(L"ZORVEX_RUSSIAN_WINDOWS")) GTEST_SKIP() << "not the Russian Windows run of make test-windows";
    EXPECT_EQ(GetACP(), 1251u);
    const wchar_t* localAppData = _wgetenv(L"LOCALAPPDATA");
    ASSERT_NE(localAppData, nullptr);
    EXPECT_TRUE(HasCyrillic(Utf8FromPath(std::filesystem::path(localAppData)))) << Utf8FromPath(localAppData);
    EXPECT_TRUE(HasCyrillic(Utf8FromPath(std::filesystem::temp_directory_path())));
    EXPECT_TRUE(HasCyrillic(ProgramDirectory())) << ProgramDirectory();
}

#endif  // _WIN32
