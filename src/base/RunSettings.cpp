#include "base/RunSettings.h"

#include <cfenv>
#include <clocale>
#include <filesystem>

#include "base/Clock.h"

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
    const auto utf8 = std::filesystem::path(std::wstring(buffer, n)).u8string();
    return std::string(utf8.begin(), utf8.end());
#else
    std::error_code ec;
    const auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string() : path.string();
#endif
}

std::string ProgramDirectory() {
    const std::string file = ProgramFile();
    return file.empty() ? std::filesystem::current_path().string()
                        : std::filesystem::path(file).parent_path().string();
}

}  // namespace zorvex
