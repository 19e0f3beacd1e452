#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/memoryadvice.h"

namespace {

// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps.
std::string FlagsAt(const void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool inside = false;
    while (std::getline(smaps, line)) {
        std::uintptr_t low = 0, high = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> low >> dash >> high && dash == '-') {
            inside = low <= at && at < high;
            continue;
        }
        if (inside && line.rfind("VmFlags:", 0) == 0) return line + " ";
    }
    return {};
}

bool Advised(const void* address) { return FlagsAt(address).find(" hg ") != std::string::npos; }

// A mapping of its own, so that the advice cannot merge with a neighbour.
struct Mapping {
    std::size_t bytes;
    unsigned char* base;
    explicit Mapping(std::size_t size)
        : bytes(size),
          base(static_cast<unsigned char*>(
              mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0))) {}
    ~Mapping() {
        if (base != MAP_FAILED) munmap(base, bytes);
    }
};

TEST(MemoryAdvice, OnlyTheWholePagesInsideTheBufferAreAdvised) {
    if (!std::filesystem::exists("/sys/kernel/mm/transparent_hugepage/enabled"))
        GTEST_SKIP() << "this kernel has no huge pages to advise";
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    Mapping mapping(8 << 20);
    ASSERT_NE(mapping.base, MAP_FAILED);
    ASSERT_FALSE(Advised(mapping.base + page));

    // A buffer that starts and ends inside a page, as malloc hands them out.
    platform::AdviseHugePages(mapping.base + 16, mapping.bytes - 32);
    EXPECT_FALSE(Advised(mapping.base)) << "the partial first page belongs to others too";
    EXPECT_TRUE(Advised(mapping.base + page));
    EXPECT_TRUE(Advised(mapping.base + mapping.bytes - 2 * page));
    EXPECT_FALSE(Advised(mapping.base + mapping.bytes - page)) << "nor the partial last one";

    // The memory stays what it was: writable and read back.
    for (std::size_t at = 0; at < mapping.bytes; at += page) mapping.base[at] = 0x5a;
    EXPECT_EQ(mapping.base[mapping.bytes / 2], 0x5a);
}

TEST(MemoryAdvice, ABufferWithinOnePageIsLeftAlone) {
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    Mapping mapping(4 * page);
    ASSERT_NE(mapping.base, MAP_FAILED);
    platform::AdviseHugePages(mapping.base + page + 8, page - 16);
    platform::AdviseHugePages(mapping.base, 0);
    for (std::size_t k = 0; k < 4; ++k) EXPECT_FALSE(Advised(mapping.base + k * page)) << k;
}

}  // namespace
