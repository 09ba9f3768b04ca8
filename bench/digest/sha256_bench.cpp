// sha256_bench FILE: prints the file's SHA-256 as sha256sum does ("<hex>  FILE").
#include <cstdio>
#include <vector>

#include "digest/sha256.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sha256_bench FILE\n");
        return 2;
    }
    FILE* file = std::fopen(argv[1], "rb");
    if (file == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    Sha256 hash;
    std::vector<char> piece(64 * 1024);  // as the program reads a downloaded release
    while (const size_t read = std::fread(piece.data(), 1, piece.size(), file)) hash.Update(piece.data(), read);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        std::perror(argv[1]);
        return 1;
    }
    std::printf("%s  %s\n", ToHex(hash.Finish()).c_str(), argv[1]);
    return 0;
}
