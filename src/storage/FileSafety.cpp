#include "storage/FileSafety.h"

#include <cerrno>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <filesystem>
#include <random>
#include <system_error>
#include <vector>

#include "base/DataLocations.h"
#include "base/Exceptions.h"
#include "base/Paths.h"
#include "storage/SQLiteDatabase.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace zorvex {
namespace fs = std::filesystem;

namespace {

bool NamesDirectory(const std::string& path) {
    const char last = path.back();
    if (last == '/' || last == '\\') return true;
    const fs::path name = PathFromUtf8(path).filename();
    if (name == "." || name == "..") return true;
    std::error_code ec;
    return fs::is_directory(PathFromUtf8(path), ec);
}

std::string ReasonText(int error) {
    switch (error) {
        case ENOSPC: return ": недостаточно места на диске";
        case EACCES:
        case EPERM: return ": нет доступа";
        case EROFS: return ": диск только для чтения";
        default: return "";
    }
}

int OpenNew(const std::string& path) {
#ifdef _WIN32
    return _wopen(PathFromUtf8(path).wstring().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
#else
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
#endif
}

// The directory entry of a renamed file is durable only once its directory is synced.
void SyncDirectory([[maybe_unused]] const fs::path& directory) {
#ifndef _WIN32
    const int fd = ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
#endif
}

// A directory whose files of one extension the program keeps.
struct KeptFolder {
    fs::path directory;
    const char* extension;
    bool existingOnly;  // a name not yet taken is no kept file
    const char* what;
};

std::vector<KeptFolder> KeptFolders() {
    std::vector<KeptFolder> folders;
    if (HasMainDatabase()) {
        const std::string database = MainDatabase().FileName();
        if (!database.empty()) {
            // A protocol row names its file by id, so even a missing file is the row's.
            folders.push_back({PathFromUtf8(ProtocolDirectoryOf(database)), kProtocolFileExtension, false,
                               "файл сохранённого протокола"});
            // Every image gets a name not yet taken, so only existing ones are kept.
            folders.push_back({PathFromUtf8(ImageDirectoryOf(database)), kImageFileExtension, true,
                               "копия памяти прибора, сохранённая при загрузке"});
        }
    }
    try {
        folders.push_back({PathFromUtf8(DataLocations().formerProtocolDirectory), kProtocolFileExtension, false,
                           "файл сохранённого протокола"});
    } catch (const Exception&) {
        // No layout (an installed program without HOME): no former directory to guard.
    }
    return folders;
}

bool HasExtension(const fs::path& name, std::string_view extension) {
    const std::string text = Utf8FromPath(name.filename());
    if (text.size() <= extension.size()) return false;
    return std::equal(extension.begin(), extension.end(), text.end() - static_cast<std::ptrdiff_t>(extension.size()),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                  std::tolower(static_cast<unsigned char>(b)); });
}

// The names a file has. MinGW's std::filesystem takes it from stat(), which
// says 1 on Windows whatever the file system holds.
std::uintmax_t LinkCount(const fs::path& path, std::error_code& ec) {
#ifdef _WIN32
    const HANDLE file = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        ec.assign(static_cast<int>(GetLastError()), std::system_category());
        return 0;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(file, &info) != 0;
    if (!known) ec.assign(static_cast<int>(GetLastError()), std::system_category());
    CloseHandle(file);
    return known ? info.nNumberOfLinks : 0;
#else
    return fs::hard_link_count(path, ec);
#endif
}

fs::path Resolved(const fs::path& path) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    if (ec) return path.lexically_normal();
    const fs::path canonical = fs::weakly_canonical(absolute, ec);
    return ec ? absolute.lexically_normal() : canonical;
}

bool SameDirectory(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    if (fs::equivalent(a, b, ec) && !ec) return true;
    return Resolved(a) == Resolved(b);
}

// What the program keeps in `path`, if anything: the entry itself, and the
// file a link there leads to (writers such as a printer follow links).
std::optional<std::string> KeptFileKind(const std::string& path) {
    const fs::path given = PathFromUtf8(path);
    std::vector<fs::path> candidates{Resolved(given.parent_path().empty() ? fs::path(".") : given.parent_path()) /
                                     given.filename()};
    std::error_code ec;
    if (fs::exists(given, ec)) {
        const fs::path target = fs::canonical(given, ec);
        if (!ec) candidates.push_back(target);
    }
    const std::vector<KeptFolder> folders = KeptFolders();
    for (const fs::path& candidate : candidates) {
        for (const KeptFolder& folder : folders) {
            if (!HasExtension(candidate, folder.extension)) continue;
            if (folder.existingOnly && !fs::is_regular_file(candidate, ec)) continue;
            if (SameDirectory(candidate.parent_path(), folder.directory)) return folder.what;
        }
    }
    // A hard link elsewhere is the kept file itself to a writer that writes in place (a printer).
    if (fs::is_regular_file(given, ec) && LinkCount(given, ec) > 1 && !ec) {
        for (const KeptFolder& folder : folders) {
            for (fs::directory_iterator it(folder.directory, ec), end; !ec && it != end; it.increment(ec)) {
                std::error_code same;
                if (HasExtension(it->path(), folder.extension) && fs::equivalent(it->path(), given, same) && !same)
                    return folder.what;
            }
            ec.clear();
        }
    }
    return std::nullopt;
}

}  // namespace

void CheckFilePath(const std::string& path) {
    if (path.empty()) throw Exception("Не указано имя файла");
    if (NamesDirectory(path)) throw Exception("«" + path + "» — каталог, а не файл");
}

void CheckOutputPath(const std::string& path, TWriter writer) {
    CheckFilePath(path);
    if (IsMainDatabaseFile(path))
        throw Exception("Файл «" + path + "» — основная база данных программы; выберите другое имя");
    if (writer == TWriter::UserOutput) {
        if (const auto kind = KeptFileKind(path))
            throw Exception("Файл «" + path + "» — " + *kind + "; выберите другое имя");
    }
    std::error_code ec;
    const fs::file_status status = fs::status(PathFromUtf8(path), ec);
    if ((fs::exists(status) && !fs::is_regular_file(status)) || NamesSystemDevice(path))
        throw Exception("Не удалось записать файл «" + path + "»: это не обычный файл");
}

TReplacementFile::TReplacementFile(std::string target, TWriter writer) : target_(std::move(target)), writer_(writer) {
    CheckOutputPath(target_, writer_);
    const fs::path targetPath = PathFromUtf8(target_);
    std::error_code ec;
    if (targetPath.has_parent_path()) fs::create_directories(targetPath.parent_path(), ec);
    // A hidden name in the target's own directory, so the rename stays on one file system.
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name =
            "." + Utf8FromPath(targetPath.filename()) + "." + std::to_string(generator() % 1000000000ULL) + ".tmp";
        const std::string candidate = Utf8FromPath(targetPath.parent_path() / PathFromUtf8(name));
        const int fd = OpenNew(candidate);
        if (fd >= 0) {
            handle_ = fd;
            tempPath_ = candidate;
            return;
        }
        if (errno != EEXIST) Fail(errno);
    }
    Fail(EEXIST);
}

TReplacementFile::~TReplacementFile() {
    CloseHandle(false);
    if (!committed_ && !tempPath_.empty()) {
        std::error_code ec;
        fs::remove(PathFromUtf8(tempPath_), ec);
    }
}

void TReplacementFile::Fail(int error) {
    CloseHandle(false);
    if (!tempPath_.empty()) {
        std::error_code ec;
        fs::remove(PathFromUtf8(tempPath_), ec);
        tempPath_.clear();
    }
    throw Exception("Не удалось записать файл «" + target_ + "»" + ReasonText(error));
}

void TReplacementFile::CloseHandle(bool flush) {
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    handle_ = -1;
#ifdef _WIN32
    const bool synced = !flush || _commit(fd) == 0;
    const int closeError = _close(fd) == 0 ? 0 : errno;
#else
    const bool synced = !flush || ::fsync(fd) == 0;
    const int syncError = errno;
    const int closeError = ::close(fd) == 0 ? 0 : errno;
#endif
    if (!flush) return;
#ifdef _WIN32
    if (!synced) Fail(errno);
#else
    if (!synced) Fail(syncError);
#endif
    if (closeError != 0) Fail(closeError);
}

void TReplacementFile::Write(std::string_view bytes) {
    if (committed_ || handle_ < 0) Fail(EBADF);
    const int fd = static_cast<int>(handle_);
    std::size_t done = 0;
    while (done < bytes.size()) {
#ifdef _WIN32
        const int n = _write(fd, bytes.data() + done, static_cast<unsigned>(std::min<std::size_t>(bytes.size() - done, 1u << 30)));
#else
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
#endif
        if (n < 0) {
            if (errno == EINTR) continue;
            Fail(errno);
        }
        if (n == 0) Fail(ENOSPC);
        done += static_cast<std::size_t>(n);
    }
}

void TReplacementFile::Commit() {
    if (committed_ || tempPath_.empty()) Fail(EBADF);
    CloseHandle(true);
    // The target may have become the main database, a kept file or a directory meanwhile.
    CheckOutputPath(target_, writer_);
    std::error_code ec;
    fs::rename(PathFromUtf8(tempPath_), PathFromUtf8(target_), ec);
    if (ec) Fail(ec.value());
    committed_ = true;
    SyncDirectory(PathFromUtf8(target_).parent_path());
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    TReplacementFile file(path);
    file.Write(bytes);
    file.Commit();
}

}  // namespace zorvex
