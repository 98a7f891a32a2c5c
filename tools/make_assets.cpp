// Writes one of the generated files the programs are built with:
//   make_assets clip|lock-icon|supervisor-icon OUTPUT
#include "Artwork.h"

#include <cstdio>
#include <cstring>

namespace {

struct Asset {
    const char* name;
    assets::Bytes (*make)();
};

constexpr Asset kAssets[] = {
    {"clip", assets::lockClip},
    {"lock-icon", assets::lockIcon},
    {"supervisor-icon", assets::supervisorIcon},
};

} // namespace

int main(int argc, char** argv) {
    if (argc == 3) {
        for (const Asset& asset : kAssets) {
            if (std::strcmp(argv[1], asset.name) != 0) continue;
            if (assets::writeFile(argv[2], asset.make())) return 0;
            std::fprintf(stderr, "make_assets: cannot write %s\n", argv[2]);
            return 1;
        }
    }
    std::fprintf(stderr, "usage: make_assets clip|lock-icon|supervisor-icon OUTPUT\n");
    return 2;
}
