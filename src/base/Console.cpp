#include "base/Console.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format off
#include <shellapi.h>
// clang-format on
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <memory>

#ifdef _MSC_VER
#pragma comment(lib, "shell32.lib")
#endif
#endif

namespace zorvex {

#ifdef _WIN32
namespace {

std::string Utf8OfWide(const wchar_t* text) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

struct LocalFreer {
    void operator()(wchar_t** p) const { LocalFree(p); }
};

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char* argv[]) {
    int count = 0;
    const std::unique_ptr<wchar_t*, LocalFreer> wide(CommandLineToArgvW(GetCommandLineW(), &count));
    if (!wide || count != argc) return std::vector<std::string>(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(Utf8OfWide(wide.get()[i]));
    return args;
}

void PrepareStandardStreams() {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

#else

std::vector<std::string> Utf8Arguments(int argc, char* argv[]) { return std::vector<std::string>(argv + 1, argv + argc); }

void PrepareStandardStreams() {}

#endif

}  // namespace zorvex
