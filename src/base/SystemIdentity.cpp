#include "base/SystemIdentity.h"

#include <cstdlib>
#include <filesystem>

#include "base/Paths.h"

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace zorvex {
namespace {

#ifdef _WIN32
// The environment's wide text as UTF-8: the narrow one is in the ANSI code page.
std::string EnvironmentText(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value ? Utf8FromPath(std::filesystem::path(std::wstring(value))) : "";
}
#else
std::string EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}
#endif

}  // namespace

std::string OperatingSystemUser() {
#ifdef _WIN32
    return EnvironmentText(L"USERNAME");
#else
    // The account the process runs as, not a name the environment could claim.
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name != nullptr) return entry->pw_name;
    return EnvironmentText("USER");
#endif
}

std::string WorkstationName() {
#ifdef _WIN32
    return EnvironmentText(L"COMPUTERNAME");
#else
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer - 1) != 0) return "";
    return buffer;
#endif
}

}  // namespace zorvex
