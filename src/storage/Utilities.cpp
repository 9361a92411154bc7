#include "storage/Utilities.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <utility>

#include "base/Clock.h"
#include "base/Paths.h"
#include "base/Format.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace zorvex {

// ---------------------------------------------------------------- text

std::string TrimBlanks(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    return std::string(text.substr(begin, end - begin));
}

std::string JoinTexts(const std::vector<std::string>& texts, std::string_view separator, int* count) {
    std::string out;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (i > 0) out += separator;
        out += texts[i];
    }
    if (count) *count = static_cast<int>(texts.size());
    return out;
}

std::string ReplaceFirst(std::string_view text, std::string_view search, std::string_view replacement) {
    std::string out(text);
    if (search.empty()) return out;
    const std::size_t at = out.find(search);
    if (at != std::string::npos) out.replace(at, search.size(), replacement);
    return out;
}

// ---------------------------------------------------------------- files

TOutputFile::TOutputFile(TOutputFile&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

TOutputFile& TOutputFile::operator=(TOutputFile&& other) noexcept {
    if (this != &other) {
        TOutputFile old(std::move(*this));
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

TOutputFile::~TOutputFile() {
    if (!IsValid()) return;
#ifdef _WIN32
    CloseHandle(reinterpret_cast<HANDLE>(handle_));
#else
    ::close(static_cast<int>(handle_));
#endif
}

TOutputFile CreateOutputFile(const std::string& path, bool shared) {
    std::error_code ec;
    const std::filesystem::path p = PathFromUtf8(path);
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path(), ec);
#ifdef _WIN32
    const DWORD share = shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0;
    HANDLE h = CreateFileW(p.wstring().c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return {};
    return TOutputFile(reinterpret_cast<std::intptr_t>(h));
#else
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return {};
    TOutputFile file(fd);
    // Exclusive use: refuse a file another process holds, then empty it.
    if (!shared && ::flock(fd, LOCK_EX | LOCK_NB) != 0) return {};
    if (::ftruncate(fd, 0) != 0) return {};
    return file;
#endif
}

std::int64_t WriteOutput(TOutputFile& file, const void* buffer, std::size_t count) {
    if (!file.IsValid()) return -1;
#ifdef _WIN32
    DWORD written = 0;
    if (!WriteFile(reinterpret_cast<HANDLE>(file.Handle()), buffer, static_cast<DWORD>(count), &written, nullptr))
        return -1;
    return written;
#else
    const auto* bytes = static_cast<const char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::write(static_cast<int>(file.Handle()), bytes + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
#endif
}

bool IsExistingFile(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(PathFromUtf8(path), ec) && !std::filesystem::is_directory(PathFromUtf8(path), ec);
}

// ---------------------------------------------------------------- version stamp

namespace {

// The stamp's marker, kept scrambled here so that only a program that carries
// a stamp contains the marker in plain form.
// The marker is "\x7FZVX-VERSION-TAG".
constexpr unsigned char kScrambledMarker[] = {0x25, 0x00, 0x0C, 0x02, 0x77, 0x0C, 0x1F, 0x08,
                                              0x09, 0x13, 0x15, 0x14, 0x77, 0x0E, 0x1B, 0x1D};
constexpr unsigned char kScramble = 0x5A;

std::vector<unsigned char> Marker() {
    std::vector<unsigned char> marker;
    for (const unsigned char c : kScrambledMarker) marker.push_back(c ^ kScramble);
    return marker;
}

}  // namespace

std::vector<unsigned char> MakeVersionStamp(std::uint16_t major, std::uint16_t minor) {
    std::vector<unsigned char> stamp = Marker();
    for (const std::uint16_t v : {major, minor}) {
        stamp.push_back(static_cast<unsigned char>(v & 0xFF));
        stamp.push_back(static_cast<unsigned char>(v >> 8));
    }
    return stamp;
}

#ifdef _WIN32
namespace {

// The file version of the file's version resource: its most significant 32 bits.
std::optional<std::pair<int, int>> ResourceVersion(const std::string& path) {
    const std::wstring name = PathFromUtf8(path).wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(name.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<unsigned char> info(size);
    if (!GetFileVersionInfoW(name.c_str(), 0, size, info.data())) return std::nullopt;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed ||
        length < sizeof(VS_FIXEDFILEINFO))
        return std::nullopt;
    return std::pair<int, int>{HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS)};
}

}  // namespace
#endif

std::string FileVersionText(const std::string& path, std::string_view format) {
    int major = 1, minor = 0;
#ifdef _WIN32
    // The programs built for Windows carry a version resource; the stamp
    // below is what stands for it elsewhere.
    if (const auto version = ResourceVersion(path)) return Format(format, {version->first, version->second});
#endif
    std::ifstream in(PathFromUtf8(path), std::ios::binary);
    if (in) {
        const std::vector<char> content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::vector<unsigned char> marker = Marker();
        const auto at = std::search(content.begin(), content.end(), marker.begin(), marker.end(),
                                    [](char a, unsigned char b) { return static_cast<unsigned char>(a) == b; });
        if (at != content.end() && content.end() - at >= static_cast<std::ptrdiff_t>(marker.size() + 4)) {
            const auto* v = reinterpret_cast<const unsigned char*>(&*(at + static_cast<std::ptrdiff_t>(marker.size())));
            major = v[0] | (v[1] << 8);
            minor = v[2] | (v[3] << 8);
        }
    }
    return Format(format, {major, minor});
}

// ---------------------------------------------------------------- other

void SortByCallbacks(int first, int last, const std::function<int(int, int)>& compare,
                     const std::function<void(int, int)>& exchange) {
    for (;;) {
        if (last - first < 32) {
            if (last - first < 0) return;
            if (last == first) {
                compare(first, first);
                return;
            }
            bool exchanged = true;
            while (exchanged) {
                exchanged = false;
                for (int i = first; i < last; ++i) {
                    if (compare(i, i + 1) == 1) {
                        exchange(i, i + 1);
                        exchanged = true;
                    }
                }
            }
            return;
        }
        int pivot = first + 1 + Random(last - first - 1);  // first+1 .. last-1
        int i = first, j = last;
        for (;;) {
            while (compare(i, pivot) == -1) ++i;
            while (compare(j, pivot) == 1) --j;
            if (j < i) break;
            exchange(i, j);
            if (pivot == i) pivot = j;
            else if (pivot == j) pivot = i;
            ++i;
            --j;
            if (j < i) break;
        }
        if (first < j) SortByCallbacks(first, j, compare, exchange);
        if (i >= last) return;
        first = i;
    }
}

TSplitSeconds SplitSeconds(std::int64_t total) {
    constexpr double kMonth = 86400.0 * 30.4375;
    TSplitSeconds s;
    s.months = static_cast<int>(std::floor(total / kMonth));
    auto rest = static_cast<std::int64_t>(std::floor(total - s.months * kMonth));
    s.days = static_cast<int>(rest / 86400);
    rest -= std::int64_t{s.days} * 86400;
    s.hours = static_cast<int>(rest / 3600);
    rest -= std::int64_t{s.hours} * 3600;
    s.minutes = static_cast<int>(rest / 60);
    s.seconds = static_cast<int>(rest - std::int64_t{s.minutes} * 60);
    return s;
}

}  // namespace zorvex
