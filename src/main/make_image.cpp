// Build step: evaluates the standard library once and writes the state it leaves, which the
// program embeds and restores at every start.
#include <cstdio>
#include <exception>

#include "prelude/image.h"
#include "prelude/prelude.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT\n", argc > 0 ? argv[0] : "velune_make_image");
        return 2;
    }
    try {
        velune::Runtime rt;
        velune::prelude::establish(rt, velune::prelude::mode::evaluate);
        const std::string image = velune::prelude::write_image(rt);
        std::FILE* out = std::fopen(argv[1], "wb");
        if (out == nullptr || std::fwrite(image.data(), 1, image.size(), out) != image.size() ||
            std::fclose(out) != 0) {
            std::perror(argv[1]);
            return 1;
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velune_make_image: %s\n", e.what());
        return 1;
    }
}
