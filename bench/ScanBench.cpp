// Scans a generated tree of 100,000 files in 1,000 folders with the picture
// catalogue and compares the time with `find DIR -type f` on the same tree.
#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {
double Seconds(const std::chrono::steady_clock::duration& d) {
    return std::chrono::duration<double>(d).count();
}

template <class F> double BestOf(int runs, F&& f) {
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        f();
        best = std::min(best, Seconds(std::chrono::steady_clock::now() - t0));
    }
    return best;
}
} // namespace

int main(int argc, char** argv) {
    const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "zenks-scan-bench";
    const int folders = 1000, perFolder = 100;
    fs::create_directories(root / "bin");
    if (!fs::exists(root / "tree" / "done")) {
        std::printf("generating %d files in %d folders below %s\n", folders * perFolder, folders,
                    root.c_str());
        for (int d = 0; d < folders; ++d) {
            // Ten top folders with a hundred sub-folders each: depth like a photo collection.
            const fs::path dir =
                root / "tree" / ("jahr" + std::to_string(d / 100)) / ("album" + std::to_string(d));
            fs::create_directories(dir);
            for (int f = 0; f < perFolder; ++f) {
                const char* ext = f % 10 == 0 ? ".txt" : f % 3 ? ".jpg" : ".JPG";
                std::ofstream(dir / ("bild" + std::to_string(f) + ext));
            }
        }
        std::ofstream(root / "tree" / "done");
    }
    platform::SetExecutablePathForTesting((root / "bin" / "ulbrasen").string());
    fs::remove(root / "bin" / "ulbrasen.ini");
    std::ofstream(root / "bin" / "ulbrasen.ini")
        << "[Optionen]\nFirst=0\nAnzVerz=1\nVerz1=" << (root / "tree").string() << "\nVerz1/Optionen=AR\n";
    TOptionen options;
    std::vector<std::string> catalogue;
    options.BuildCatalogue(catalogue); // warm the cache
    const std::string find = "find '" + (root / "tree").string() + "' -type f > /dev/null";
    if (std::system(find.c_str()) != 0) return 1;
    const int runs = 7;
    const double ours = BestOf(runs, [&] { options.BuildCatalogue(catalogue); });
    const double base = BestOf(runs, [&] {
        if (std::system(find.c_str()) != 0) std::exit(1);
    });
    std::printf("catalogue: %zu pictures\n", catalogue.size());
    std::printf("scan (BuildCatalogue)   %.1f ms (best of %d)\n", ours * 1000, runs);
    std::printf("find DIR -type f        %.1f ms (best of %d)\n", base * 1000, runs);
    std::printf("ratio scan/find: %.2f (goal: at most 1.5)\n", ours / base);
    return 0;
}
