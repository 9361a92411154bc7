#pragma once

#include <cstdint>

namespace zorvex::test {

// While it lives, files this process writes cannot grow past `bytes`: writes
// beyond fail with EFBIG, as on a full disk (SIGXFSZ is ignored meanwhile).
class FileSizeLimit {
public:
    explicit FileSizeLimit(std::uint64_t bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    std::uint64_t previous_ = 0;
    void (*previousHandler_)(int) = nullptr;
};

}  // namespace zorvex::test
