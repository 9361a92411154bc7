#include "storage/FileSafety.h"

#include <cerrno>
#include <algorithm>
#include <filesystem>
#include <random>
#include <system_error>

#include "base/Exceptions.h"
#include "storage/SQLiteDatabase.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
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
    const fs::path name = fs::path(path).filename();
    if (name == "." || name == "..") return true;
    std::error_code ec;
    return fs::is_directory(path, ec);
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
    return _wopen(fs::path(path).wstring().c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
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

}  // namespace

void CheckFilePath(const std::string& path) {
    if (path.empty()) throw Exception("Не указано имя файла");
    if (NamesDirectory(path)) throw Exception("«" + path + "» — каталог, а не файл");
}

void CheckOutputPath(const std::string& path) {
    CheckFilePath(path);
    if (IsMainDatabaseFile(path))
        throw Exception("Файл «" + path + "» — основная база данных программы; выберите другое имя");
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (fs::exists(status) && !fs::is_regular_file(status))
        throw Exception("Не удалось записать файл «" + path + "»: это не обычный файл");
}

TReplacementFile::TReplacementFile(std::string target) : target_(std::move(target)) {
    CheckOutputPath(target_);
    const fs::path targetPath(target_);
    std::error_code ec;
    if (targetPath.has_parent_path()) fs::create_directories(targetPath.parent_path(), ec);
    // A hidden name in the target's own directory, so the rename stays on one file system.
    std::random_device entropy;
    std::mt19937_64 generator((static_cast<std::uint64_t>(entropy()) << 32) ^ entropy());
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + targetPath.filename().string() + "." + std::to_string(generator() % 1000000000ULL) + ".tmp";
        const std::string candidate = (targetPath.parent_path() / name).string();
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
        fs::remove(tempPath_, ec);
    }
}

void TReplacementFile::Fail(int error) {
    CloseHandle(false);
    if (!tempPath_.empty()) {
        std::error_code ec;
        fs::remove(tempPath_, ec);
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
    // The target may have become the main database or a directory meanwhile.
    CheckOutputPath(target_);
    std::error_code ec;
    fs::rename(tempPath_, target_, ec);
    if (ec) Fail(ec.value());
    committed_ = true;
    SyncDirectory(fs::path(target_).parent_path());
}

void WriteFileReplacing(const std::string& path, std::string_view bytes) {
    TReplacementFile file(path);
    file.Write(bytes);
    file.Commit();
}

}  // namespace zorvex
