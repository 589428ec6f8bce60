// Writes the benchmark's stress modules: make_stress_module FOLDER
#include "support/StressModule.h"

#include <cstdio>
#include <exception>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_stress_module FOLDER\n");
        return 2;
    }
    try {
        std::printf("%s\n", brindle::bench::WriteStressModule(argv[1], {}).c_str());
        std::printf("%s\n", brindle::bench::WriteStressModule(argv[1], {.stretched = true}).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_stress_module: %s\n", e.what());
        return 1;
    }
    return 0;
}
