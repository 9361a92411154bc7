#include "support/ProcessRun.h"

#include <windows.h>

#include <memory>
#include <thread>

#include "base/Paths.h"

namespace zorvex::test {

namespace {

struct HandleCloser {
    void operator()(HANDLE h) const {
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// Quoted so that CommandLineToArgvW and the C runtime give the argument back
// unchanged: backslashes are literal except before a quote.
std::wstring QuotedArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) return arg;
    std::wstring out = L"\"";
    for (auto it = arg.begin();; ++it) {
        std::size_t backslashes = 0;
        while (it != arg.end() && *it == L'\\') {
            ++it;
            ++backslashes;
        }
        if (it == arg.end()) {
            out.append(backslashes * 2, L'\\');
            break;
        }
        if (*it == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        out.push_back(*it);
    }
    out.push_back(L'"');
    return out;
}

std::wstring Wide(const std::string& utf8) { return PathFromUtf8(utf8).wstring(); }

// A pipe whose write end the child inherits.
bool MakePipe(Handle& readEnd, Handle& writeEnd) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE r = nullptr, w = nullptr;
    if (!CreatePipe(&r, &w, &inherit, 0)) return false;
    readEnd.reset(r);
    writeEnd.reset(w);
    return SetHandleInformation(r, HANDLE_FLAG_INHERIT, 0) != 0;
}

void Drain(HANDLE pipe, std::string& sink) {
    char buffer[4096];
    DWORD n = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &n, nullptr) && n > 0) sink.append(buffer, n);
}

}  // namespace

ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::filesystem::path& directory, const ProcessLimits& limits) {
    ProcessResult result;
    if (limits.fileSizeLimit) return result;  // Windows has no per-process file size limit

    Handle outRead, outWrite, errRead, errWrite;
    if (!MakePipe(outRead, outWrite) || !MakePipe(errRead, errWrite)) return result;
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handle nul(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                           nullptr));
    if (nul.get() == INVALID_HANDLE_VALUE) return result;

    // Only these three handles reach the child: a pipe of a process started at
    // the same time from another thread must not stay open in this one.
    HANDLE inherited[3] = {nul.get(), outWrite.get(), errWrite.get()};
    SIZE_T attributeSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &attributeSize);
    std::unique_ptr<char[]> attributeBuffer(new char[attributeSize]);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBuffer.get());
    if (!InitializeProcThreadAttributeList(attributes, 1, 0, &attributeSize)) return result;
    const std::unique_ptr<_PROC_THREAD_ATTRIBUTE_LIST, decltype(&DeleteProcThreadAttributeList)> attributeGuard(
        attributes, &DeleteProcThreadAttributeList);
    if (!UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited, sizeof inherited,
                                   nullptr, nullptr))
        return result;

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = nul.get();
    startup.StartupInfo.hStdOutput = outWrite.get();
    startup.StartupInfo.hStdError = errWrite.get();
    startup.lpAttributeList = attributes;

    const std::wstring application = Wide(program);
    std::wstring commandLine = QuotedArgument(application);
    for (const auto& a : args) commandLine += L" " + QuotedArgument(Wide(a));
    const std::wstring workingDirectory = directory.wstring();

    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                        EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW, nullptr, workingDirectory.c_str(),
                        &startup.StartupInfo, &process))
        return result;
    const Handle processHandle(process.hProcess);
    CloseHandle(process.hThread);
    outWrite.reset();  // the child holds the only write ends now: end of file when it exits
    errWrite.reset();
    nul.reset();

    std::thread outReader(Drain, outRead.get(), std::ref(result.out));
    std::thread errReader(Drain, errRead.get(), std::ref(result.err));
    const DWORD wait = limits.timeout.count() > 0 ? static_cast<DWORD>(limits.timeout.count()) : INFINITE;
    if (WaitForSingleObject(processHandle.get(), wait) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(processHandle.get(), 1);
        WaitForSingleObject(processHandle.get(), INFINITE);
    }
    outReader.join();
    errReader.join();

    DWORD exitCode = 0;
    // An unhandled exception ends a process with its NTSTATUS (0xC0000005 ...), not an exit status.
    if (!result.timedOut && GetExitCodeProcess(processHandle.get(), &exitCode) && exitCode < 0xC0000000u)
        result.status = static_cast<int>(exitCode);
    return result;
}

}  // namespace zorvex::test
