// Reading a whole file: exactly its bytes in a buffer of its size, files
// whose size the kernel does not know beforehand, and the limit.
#include "platform/Platform.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

TEST(ReadFile, TakesTheFileAtItsSizeAndKernelFilesWithoutOne) {
    testsupport::TempDir tmp;
    std::vector<std::uint8_t> bytes(6'500'003);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    testsupport::WriteBytes(tmp / "big.jpg", bytes);
    std::vector<std::uint8_t> read;
    ASSERT_TRUE(platform::ReadFileBytes((tmp / "big.jpg").string(), read));
    EXPECT_TRUE(read == bytes);
    // A large picture is held once, not in a buffer grown to twice its size.
    EXPECT_LT(read.capacity(), bytes.size() + 65536);

    // Files in /proc report no size; they are read to their end all the same.
    std::string smaps;
    ASSERT_TRUE(platform::ReadFile("/proc/self/smaps", smaps));
    EXPECT_GT(smaps.size(), 4096u) << "more than one small read";
    EXPECT_NE(smaps.find("\nVmFlags:", smaps.size() - 200), std::string::npos) << "to the end";

    EXPECT_FALSE(platform::ReadFileBytes((tmp / "big.jpg").string(), read, bytes.size() - 1));
    EXPECT_TRUE(read.empty());
    std::string partial;
    EXPECT_FALSE(platform::ReadFile("/proc/self/smaps", partial, 100)) << "past the limit while reading";
}
