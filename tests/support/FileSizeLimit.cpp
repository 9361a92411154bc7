#include "support/FileSizeLimit.h"

#include <csignal>
#include <stdexcept>

#include <sys/resource.h>

namespace zorvex::test {

FileSizeLimit::FileSizeLimit(std::uint64_t bytes) {
    rlimit limit{};
    if (getrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("getrlimit");
    previous_ = limit.rlim_cur;
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    limit.rlim_cur = bytes;
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0) throw std::runtime_error("setrlimit");
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = previous_;
    setrlimit(RLIMIT_FSIZE, &limit);
    std::signal(SIGXFSZ, previousHandler_);
}

}  // namespace zorvex::test
