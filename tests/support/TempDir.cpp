#include "support/TempDir.h"

#include <fstream>
#include <iterator>
#include <random>

namespace zorvex::test {

TempDir::TempDir() : previousCwd_(std::filesystem::current_path()) {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        path_ = base / ("zorvex-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(path_)) break;
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::current_path(previousCwd_, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace zorvex::test
