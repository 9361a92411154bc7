// Writes the demonstration meter's memory image to a file, so that the
// installed zorvex-cli can be given a real image (download --image, decode).
#include <fstream>
#include <iostream>
#include <vector>

#include "device/DemoMeter.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: zorvex-demo-image FILE\n";
        return 2;
    }
    const std::vector<std::uint8_t> image = zorvex::DemoMemoryImage();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "zorvex-demo-image: cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
