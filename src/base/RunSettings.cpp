#include "base/RunSettings.h"

#include <cfenv>
#include <clocale>
#include <filesystem>

#include "base/Clock.h"
#include "base/Paths.h"

#ifdef _WIN32
#include <float.h>
#include <windows.h>
#endif

namespace zorvex {

void ResetNumericLocale() { std::setlocale(LC_NUMERIC, "C"); }

void ApplyRunSettings() {
#ifdef _WIN32
    unsigned int current = 0;
    _controlfp_s(&current, _MCW_EM, _MCW_EM);
#elif defined(__GLIBC__)
    fedisableexcept(FE_ALL_EXCEPT);
#endif
    Randomize();
    ResetNumericLocale();
}

std::string ProgramFile() {
#ifdef _WIN32
    wchar_t buffer[MAX_PATH * 4];
    const DWORD n = GetModuleFileNameW(nullptr, buffer, static_cast<DWORD>(std::size(buffer)));
    return Utf8FromPath(std::filesystem::path(std::wstring(buffer, n)));
#else
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : Utf8FromPath(path);
#endif
}

std::string ProgramDirectory() {
    const std::string file = ProgramFile();
    return Utf8FromPath(file.empty() ? std::filesystem::current_path() : PathFromUtf8(file).parent_path());
}

}  // namespace zorvex
