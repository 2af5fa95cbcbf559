// Runs the archive fuzz target where no fuzzing engine is at hand: the seeds,
// then a fixed series of mutations of them (the same every run). With
// "--seeds DIR" it writes the seeds as files for a fuzzing engine instead.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "service/foundation/fuzz/ArchiveFuzzTarget.h"

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15ull;

uint64_t Next() {
    g_state ^= g_state << 13;
    g_state ^= g_state >> 7;
    g_state ^= g_state << 17;
    return g_state;
}

void Mutate(std::vector<uint8_t>& bytes) {
    int edits = 1 + static_cast<int>(Next() % 4);
    for (int e = 0; e < edits; ++e) {
        switch (Next() % 5) {
            case 0:  // change a byte
                if (!bytes.empty()) bytes[Next() % bytes.size()] = static_cast<uint8_t>(Next());
                break;
            case 1:  // cut the end
                if (!bytes.empty()) bytes.resize(Next() % bytes.size());
                break;
            case 2:  // put in a large 32-bit number
                if (bytes.size() >= 4) {
                    size_t at = Next() % (bytes.size() - 3);
                    uint32_t v = (Next() % 2) ? 0xFFFFFFFFu : static_cast<uint32_t>(Next() % 0x01000000u);
                    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<uint8_t>(v >> (8 * k));
                }
                break;
            case 3:  // repeat a slice
                if (!bytes.empty() && bytes.size() < 65536) {
                    size_t from = Next() % bytes.size();
                    size_t len = 1 + Next() % std::min<size_t>(64, bytes.size() - from);
                    std::vector<uint8_t> slice(bytes.begin() + from, bytes.begin() + from + len);
                    bytes.insert(bytes.begin() + Next() % bytes.size(), slice.begin(), slice.end());
                }
                break;
            default:  // drop a slice
                if (bytes.size() > 1) {
                    size_t from = Next() % bytes.size();
                    bytes.erase(bytes.begin() + from, bytes.begin() + std::min(bytes.size(), from + 1 + Next() % 16));
                }
                break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::vector<uint8_t>> seeds = fuzz::ArchiveSeeds();
    if (argc == 3 && std::string(argv[1]) == "--seeds") {
        for (size_t i = 0; i < seeds.size(); ++i) {
            std::string path = std::string(argv[2]) + "/seed" + std::to_string(i);
            FILE* f = std::fopen(path.c_str(), "wb");
            if (!f) return 1;
            std::fwrite(seeds[i].data(), 1, seeds[i].size(), f);
            std::fclose(f);
        }
        return 0;
    }
    int rounds = argc == 2 ? std::atoi(argv[1]) : 20000;
    for (const auto& seed : seeds) LLVMFuzzerTestOneInput(seed.data(), seed.size());
    for (int i = 0; i < rounds; ++i) {
        std::vector<uint8_t> input = seeds[static_cast<size_t>(Next() % seeds.size())];
        Mutate(input);
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%d mutated inputs ran\n", rounds);
    return 0;
}
