// Writes the demonstration meter's memory image to a file, so that the
// installed zorvex-cli can be given a real image (download --image, decode).
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "base/Console.h"
#include "base/Paths.h"
#include "device/DemoMeter.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: zorvex-demo-image FILE\n";
        return 2;
    }
    const std::string file = zorvex::Utf8Arguments(argc, argv)[0];
    const std::vector<std::uint8_t> image = zorvex::DemoMemoryImage();
    std::ofstream out(zorvex::PathFromUtf8(file), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::cerr << "zorvex-demo-image: cannot write " << file << "\n";
        return 1;
    }
    return 0;
}
