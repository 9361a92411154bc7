#include "base/Paths.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zorvex {

std::filesystem::path PathFromUtf8(std::string_view name) {
    return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

bool NamesSystemDevice(std::string_view name) {
#ifdef _WIN32
    const std::size_t slash = name.find_last_of("/\\:");
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    // The device is named by what comes before the first dot, trailing spaces dropped.
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    std::string upper(name);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    static constexpr std::array<std::string_view, 6> kDevices = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    if (std::find(kDevices.begin(), kDevices.end(), upper) != kDevices.end()) return true;
    return upper.size() == 4 && (upper.starts_with("COM") || upper.starts_with("LPT")) && upper[3] >= '1' &&
           upper[3] <= '9';
#else
    static_cast<void>(name);
    return false;
#endif
}

}  // namespace zorvex
