#include "compose/BmpWriter.h"
#include "compose/Graphics.h"
#include "config/uOptionen.h"
#include "desktop/DesktopWallpaper.h"
#include "desktop/MonitorLayout.h"
#include "desktop/uDirectXErkennung.h"
#include "platform/Platform.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <system_error>
#include <utility>

PendingWrite::PendingWrite(std::function<void()> write) : write_(std::move(write)) {
    const auto run = [this] {
        try {
            write_();
        } catch (...) {
            error_ = std::current_exception();
        }
    };
    try {
        thread_ = std::thread(run);
    } catch (const std::system_error&) {
        run(); // no second thread: written before the desktop is asked
    }
}

PendingWrite::~PendingWrite() {
    if (thread_.joinable()) thread_.join();
}

void PendingWrite::Wait() {
    if (thread_.joinable()) thread_.join();
    if (error_) std::rethrow_exception(error_);
}

void TOptionen::ApplyWallpaper(const std::string& fileName) {
    if (ExclusiveModeActive() != 0) return;
    TPicture picture;
    if (!FitPicture(picture, fileName).empty()) return;
    // Saved straight from the holder's bitmap: a copy would only double the
    // memory a large wallpaper needs and give the same file.
    const TBitmap& bitmap = picture.Bitmap();
    const std::string file = ProgramFilePath(".bmp");
    // The automatic change and the window apply to the same file and desktop:
    // one at a time, so that both end with the same picture, and so that the
    // X root setter never kills the retained connection of an application
    // still in progress in the other process.
    const platform::InterProcessLock lock(file);
    PendingWrite written([&] { SaveBitmapToFile(bitmap, file); });
    const WallpaperStyle style =
        IsTileSize(bitmap.Width(), bitmap.Height()) ? WallpaperStyle::Tiled : WallpaperStyle::Centred;
    SetDesktopWallpaper(file, bitmap, style, &written);
    // Also when no desktop took it: a file that could not be written is an error.
    written.Wait();
}

void TOptionen::ApplyRandomWallpaper() {
    if (!EigenesBildJeBildschirm) return ApplyWallpaper(PickRandomPicture());
    if (ExclusiveModeActive() != 0) return;
    const std::vector<platform::Monitor> monitors = DesktopMonitors();
    if (monitors.size() <= 1) return ApplyWallpaper(PickRandomPicture());

    std::vector<std::string> catalogue;
    BuildCatalogue(catalogue);
    if (catalogue.empty()) return;
    // Different pictures while the catalogue has enough, then again those
    // that could be composed. A picture that cannot be composed gives way to
    // another, a few times at most, so a folder of broken files cannot keep
    // the change busy; then nothing changes, as with one broken picture.
    enum class State : std::uint8_t { Unused, Good, Bad };
    std::vector<State> state(catalogue.size(), State::Unused);
    std::size_t unused = catalogue.size();
    std::vector<std::size_t> good;
    const auto draw = [&]() -> std::optional<std::size_t> {
        if (unused == 0) {
            if (good.empty()) return std::nullopt;
            return good[RandomIndex(good.size())];
        }
        std::size_t i = RandomIndex(catalogue.size());
        while (state[i] != State::Unused)
            i = (i + 1) % catalogue.size();
        --unused;
        return i;
    };
    constexpr int kTriesPerMonitor = 8;
    std::vector<std::unique_ptr<TPicture>> pictures;
    for (const platform::Monitor& m : monitors) {
        auto picture = std::make_unique<TPicture>();
        bool fitted = false;
        for (int t = 0; t < kTriesPerMonitor && !fitted; ++t) {
            const std::optional<std::size_t> i = draw();
            if (!i) break;
            fitted = FitPicture(*picture, catalogue[*i], {m.width, m.height}).empty();
            if (state[*i] == State::Unused) {
                state[*i] = fitted ? State::Good : State::Bad;
                if (fitted) good.push_back(*i);
            }
        }
        if (!fitted) return;
        pictures.push_back(std::move(picture));
    }

    const std::string file = ProgramFilePath(".bmp");
    const platform::InterProcessLock lock(file);
    std::vector<MonitorWallpaper> list;
    for (std::size_t i = 0; i < monitors.size(); ++i) {
        const TBitmap& bitmap = pictures[i]->Bitmap();
        const std::string monitorFile = MonitorFile(file, i);
        SaveBitmapToFile(bitmap, monitorFile);
        const WallpaperStyle style =
            IsTileSize(bitmap.Width(), bitmap.Height()) ? WallpaperStyle::Tiled : WallpaperStyle::Centred;
        list.push_back({monitors[i], monitorFile, &bitmap, style});
    }
    SetDesktopWallpapers(list);
}
