#include "base/DataLocations.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "base/Exceptions.h"
#include "base/Paths.h"
#include "base/RunSettings.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zorvex {
namespace fs = std::filesystem;

namespace {

constexpr const char* kDatabaseName = "data.db";
constexpr const char* kNoDataDirectory = "Не удалось определить каталог данных пользователя: ";

// The data directory comes from the environment; a relative one would move
// with the working directory, which opening the database changes.
fs::path AbsoluteVariable(const std::string& value, const char* name) {
    if (value.empty()) throw Exception(std::string(kNoDataDirectory) + "не задана переменная " + name);
    const fs::path path = PathFromUtf8(value);
    if (!path.is_absolute())
        throw Exception(std::string(kNoDataDirectory) + "в переменной " + name + " не абсолютный путь «" + value + "»");
    return path.lexically_normal();
}

fs::path UserDataDirectory(const TLocationInputs& inputs) {
#ifdef _WIN32
    if (!inputs.localAppData.empty()) return AbsoluteVariable(inputs.localAppData, "LOCALAPPDATA") / "Zorvex";
    if (!inputs.appData.empty()) return AbsoluteVariable(inputs.appData, "APPDATA") / "Zorvex";
    throw Exception(std::string(kNoDataDirectory) + "не заданы переменные LOCALAPPDATA и APPDATA");
#else
    // A relative XDG_DATA_HOME is invalid and so ignored, as if unset.
    const fs::path xdg = PathFromUtf8(inputs.xdgDataHome);
    if (xdg.is_absolute()) return xdg.lexically_normal() / "zorvex";
    return AbsoluteVariable(inputs.home, "HOME") / ".local" / "share" / "zorvex";
#endif
}

// .../bin -> .../share/zorvex/doc, where the installation puts the help documents.
fs::path InstalledDocumentDirectory(const fs::path& programDirectory) {
#ifdef _WIN32
    return programDirectory / "doc";
#else
    fs::path directory = programDirectory.lexically_normal();
    if (!directory.has_filename() && directory != directory.root_path()) directory = directory.parent_path();
    return directory.parent_path() / "share" / "zorvex" / "doc";
#endif
}

bool IsWritableDirectory(const std::string& directory) {
#ifdef _WIN32
    // Attributes say nothing about the directory's access list: try a file.
    const fs::path probe = PathFromUtf8(directory) / (L"~zorvex-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    const HANDLE handle = CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
#else
    return ::access(directory.c_str(), W_OK | X_OK) == 0;
#endif
}

std::string Variable(const char* name) {
#ifdef _WIN32
    const std::wstring wide(name, name + std::char_traits<char>::length(name));
    const wchar_t* value = _wgetenv(wide.c_str());
    return value ? Utf8FromPath(fs::path(std::wstring(value))) : std::string();  // wide: no ANSI code page
#else
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
#endif
}

TLocationInputs CurrentLocationInputs() {
    TLocationInputs inputs;
    inputs.programDirectory = ProgramDirectory();
    inputs.programDirectoryWritable = IsWritableDirectory(inputs.programDirectory);
#ifdef _WIN32
    inputs.localAppData = Variable("LOCALAPPDATA");
    inputs.appData = Variable("APPDATA");
#else
    inputs.home = Variable("HOME");
    inputs.xdgDataHome = Variable("XDG_DATA_HOME");
#endif
    return inputs;
}

std::string ReasonText(int error) {
    switch (error) {
        case EACCES:
        case EPERM: return "нет доступа";
        case EROFS: return "диск только для чтения";
        case ENOSPC: return "недостаточно места на диске";
        case ENOTDIR:
        case EEXIST: return "на его пути файл, а не каталог";
        default: return std::error_code(error, std::generic_category()).message();
    }
}

}  // namespace

TDataLocations ResolveDataLocations(const TLocationInputs& inputs) {
    const fs::path program = PathFromUtf8(inputs.programDirectory);
    TDataLocations locations;
    if (inputs.programDirectoryWritable) {
        locations.databaseFile = kDatabaseName;  // found in the start directory
        locations.formerProtocolDirectory = Utf8FromPath(program / "protocols");
        locations.documentDirectory = Utf8FromPath(program / "doc");
        locations.fileDialogDirectory = inputs.programDirectory;
        return locations;
    }
    const fs::path data = UserDataDirectory(inputs);
    locations.installed = true;
    locations.dataDirectory = Utf8FromPath(data);
    locations.databaseFile = Utf8FromPath(data / kDatabaseName);
    locations.formerProtocolDirectory = Utf8FromPath(data / "protocols");
    locations.documentDirectory = Utf8FromPath(InstalledDocumentDirectory(program));
    locations.fileDialogDirectory = locations.dataDirectory;
    return locations;
}

const TDataLocations& DataLocations() {
    static const TDataLocations locations = ResolveDataLocations(CurrentLocationInputs());
    return locations;
}

std::string ProtocolDirectoryOf(const std::string& databaseFile) {
    return Utf8FromPath(PathFromUtf8(databaseFile).parent_path() / "protocols");
}

std::string ImageDirectoryOf(const std::string& databaseFile) {
    return Utf8FromPath(PathFromUtf8(databaseFile).parent_path() / "downloads");
}

void CreateDataDirectory(const std::string& directory) {
    const auto fail = [&](const std::string& reason) {
        throw Exception("Не удалось создать каталог данных «" + directory + "»: " + reason);
    };
#ifdef _WIN32
    std::error_code ec;
    fs::create_directories(PathFromUtf8(directory), ec);
    if (ec) fail(ec.message());
    if (!fs::is_directory(PathFromUtf8(directory), ec)) fail(ReasonText(ENOTDIR));
#else
    // Component by component, so that each directory is born private rather than made so afterwards.
    fs::path current;
    for (const fs::path& part : PathFromUtf8(directory).lexically_normal()) {
        if (part.empty()) continue;  // after a trailing separator
        current /= part;
        std::error_code ec;
        if (fs::is_directory(current, ec)) continue;
        if (::mkdir(current.c_str(), 0700) == 0) continue;
        const int error = errno;
        if (error == EEXIST && fs::is_directory(current, ec)) continue;  // made meanwhile by another process
        fail(ReasonText(error));
    }
#endif
}

void EnsureDataDirectory() {
    static std::mutex mutex;
    static bool done = false;
    const std::lock_guard lock(mutex);
    if (done) return;
    const TDataLocations& locations = DataLocations();
    if (locations.installed) CreateDataDirectory(locations.dataDirectory);
    done = true;
}

}  // namespace zorvex
