// Load and first draw of a 24-megapixel JPEG, against djpeg -bmp of the same
// file. Prints both best-of times and their ratio (target: at most 1.15, for
// the decode on one thread), and the time of the decode on two threads.
#include "compose/Graphics.h"
#include "compose/decoders/JpegImage.h"
#include "platform/Platform.h"

#include <algorithm>
#include <climits>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <jpeglib.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Smooth gradients with some texture, so the file is like a photograph in
// size rather than a flat field.
void WriteJpeg(const std::string& file) {
    std::FILE* out = std::fopen(file.c_str(), "wb");
    if (!out) {
        std::perror(file.c_str());
        std::exit(1);
    }
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, out);
    c.image_width = kWidth;
    c.image_height = kHeight;
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 90, TRUE);
    c.comp_info[0].h_samp_factor = 2; // 4:2:0
    c.comp_info[0].v_samp_factor = 2;
    jpeg_start_compress(&c, TRUE);
    std::vector<JSAMPLE> row(kWidth * 3);
    std::uint32_t noise = 12345;
    while (c.next_scanline < c.image_height) {
        const int y = static_cast<int>(c.next_scanline);
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = static_cast<int>(noise >> 28);
            row[x * 3 + 0] = static_cast<JSAMPLE>((x * 255 / kWidth + n) & 0xFF);
            row[x * 3 + 1] = static_cast<JSAMPLE>((y * 255 / kHeight + n) & 0xFF);
            row[x * 3 + 2] = static_cast<JSAMPLE>(((x + y) / 40 + ((x / 250 + y / 250) & 1) * 90 + n) & 0xFF);
        }
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::fclose(out);
}

// Wall-clock and processor time (user + system, of this process or of its
// finished children). The machine is shared, so the ratio is taken on
// processor time, which other load disturbs least.
struct Sample {
    double wall = 1e9;
    double cpu = 1e9;
};

double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

template <class F> void Measure(Sample& best, int who, F&& run) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds(who);
    run();
    best.cpu = std::min(best.cpu, CpuSeconds(who) - cpu);
    best.wall =
        std::min(best.wall, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    platform::SetDisplayDepthForTesting(24);
    const std::string file =
        (std::filesystem::temp_directory_path() / ("zenks-jpeg-bench-" + std::to_string(getpid()) + ".jpg"))
            .string();
    WriteJpeg(file);
    std::printf("picture: %dx%d, %ju bytes, best of %d\n", kWidth, kHeight,
                static_cast<std::uintmax_t>(std::filesystem::file_size(file)), runs);

    const std::string cmd = "djpeg -bmp -outfile /dev/null '" + file + "'";
    Sample ours, both, djpeg;
    bool failed = false;
    const auto loadAndDraw = [&] {
        TPicture picture;
        picture.LoadFromFile(file);
        TBitmap target(picture.Width(), picture.Height());
        picture.Graphic()->Draw(target, 0, 0);
    };
    // Alternating, so that a change in the machine's load hits both alike.
    for (int i = 0; i < runs && !failed; ++i) {
        TJPEGImage::SetSplitMinimumForTesting(INT64_MAX);
        Measure(ours, RUSAGE_SELF, loadAndDraw);
        TJPEGImage::SetSplitMinimumForTesting(std::int64_t{1} << 20);
        Measure(both, RUSAGE_SELF, loadAndDraw);
        Measure(djpeg, RUSAGE_CHILDREN, [&] { failed = std::system(cmd.c_str()) != 0; });
    }
    std::remove(file.c_str());
    if (failed) {
        std::fprintf(stderr, "djpeg failed: %s\n", cmd.c_str());
        return 1;
    }
    std::printf("                             wall      cpu\n");
    std::printf("load + draw, one thread:  %7.3f s %7.3f s\n", ours.wall, ours.cpu);
    std::printf("djpeg -bmp:               %7.3f s %7.3f s\n", djpeg.wall, djpeg.cpu);
    std::printf("ratio:                    %7.3f   %7.3f   (target <= 1.15, on cpu time)\n",
                ours.wall / djpeg.wall, ours.cpu / djpeg.cpu);
    std::printf("two threads:              %7.3f s %7.3f s  (ratio %.3f of djpeg on wall time)\n", both.wall,
                both.cpu, both.wall / djpeg.wall);
    return 0;
}
