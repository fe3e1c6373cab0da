#include "tests/support/TestSupport.h"

#include "config/uOptionen.h"
#include "platform/Platform.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

namespace testsupport {

TempDir::TempDir() {
    std::random_device rd;
    const fs::path base = fs::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        fs::path candidate = base / ("zenks-test-" + std::to_string(rd()));
        if (fs::create_directory(candidate)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = fs::recursive_directory_iterator(path_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
}

std::string ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> ReadBytes(const fs::path& p) {
    const std::string s = ReadAll(p);
    return std::vector<std::uint8_t>(s.begin(), s.end());
}

void WriteAll(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

void WriteBytes(const fs::path& p, const std::vector<std::uint8_t>& content) {
    WriteAll(p, std::string(content.begin(), content.end()));
}

RgbaImage LoadReferenceImage(const fs::path& p) {
    RgbaImage img;
    const std::string q = "'" + p.string() + "'";
    auto run = [](const std::string& cmd) {
        std::string out;
        if (FILE* f = popen(cmd.c_str(), "r")) {
            char buf[65536];
            std::size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0)
                out.append(buf, n);
            pclose(f);
        }
        return out;
    };
    const std::string dims = run("identify-im6.q16 -format '%w %h' " + q + "[0] 2>/dev/null");
    if (std::sscanf(dims.c_str(), "%d %d", &img.width, &img.height) != 2) {
        ADD_FAILURE() << "ImageMagick could not read " << p;
        return img;
    }
    const std::string raw = run("convert-im6.q16 " + q + "[0] -depth 8 rgba:- 2>/dev/null");
    img.rgba.assign(raw.begin(), raw.end());
    if (img.rgba.size() != static_cast<std::size_t>(img.width) * img.height * 4)
        ADD_FAILURE() << "unexpected size of the pixels of " << p;
    return img;
}

void CopyProgram(const fs::path& exe) {
    const fs::path built(ZENKS_BINARY_DIR);
    fs::copy_file(built / "ulbrasen", exe);
    const fs::path module = built / "ulbrasen-fenster.so";
    if (fs::exists(module)) fs::copy_file(module, exe.parent_path() / module.filename());
}

fs::path CorpusPath(const std::string& rel) {
    return fs::path(ZENKS_CORPUS_DIR) / rel;
}

SandboxTest::SandboxTest() {
    fs::create_directories(tmp_ / "bin");
    fs::create_directories(Home());
    env_.push_back(std::make_unique<ScopedEnv>("HOME", Home().string()));
    for (const char* v : {"XDG_CONFIG_HOME", "XDG_DATA_HOME"})
        env_.push_back(std::make_unique<ScopedEnv>(v, std::nullopt));
    platform::SetExecutablePathForTesting(ExePath());
    ForgetProgramFolderForTesting();
    platform::SetDecimalSeparatorForTesting('.');
}

SandboxTest::~SandboxTest() {
    platform::SetExecutablePathForTesting(std::nullopt);
    platform::SetDecimalSeparatorForTesting(std::nullopt);
    platform::SetScreenSizeForTesting(std::nullopt);
    platform::SetDisplayDepthForTesting(std::nullopt);
}

void SandboxTest::WriteIni(const std::string& body) {
    WriteAll(IniPath(), body);
}

} // namespace testsupport
