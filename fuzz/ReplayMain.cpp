// Replays every file below the given folders through the fuzz target, so the
// ordinary test run keeps checking whatever a fuzzer ever found.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
    namespace fs = std::filesystem;
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        if (!fs::is_directory(argv[i], ec)) continue;
        std::vector<fs::path> paths;
        for (auto it = fs::recursive_directory_iterator(argv[i], ec);
             !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_regular_file()) paths.push_back(it->path());
        for (const fs::path& p : paths) {
            std::ifstream in(p, std::ios::binary);
            std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), {});
            std::printf("replay %s\n", p.string().c_str());
            std::fflush(stdout);
            LLVMFuzzerTestOneInput(data.data(), data.size());
            ++files;
        }
    }
    std::printf("%d passed, 0 failed\n", files);
    return 0;
}
