#include "regions/large_buffer.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace korvane::detail {

void* AllocateLarge(std::size_t count, std::size_t size) {
    constexpr std::size_t kHugePage = std::size_t(2) << 20;
    if (size != 0 && count > (SIZE_MAX - kHugePage) / size) throw std::bad_alloc();
    const std::size_t bytes = std::max<std::size_t>(1, count * size);
    const bool huge = bytes >= kHugePage;
    const std::size_t alignment = huge ? kHugePage : alignof(std::max_align_t);
    const std::size_t rounded = (bytes + alignment - 1) / alignment * alignment;
    void* p = std::aligned_alloc(alignment, rounded);
    if (p == nullptr) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    if (huge) madvise(p, rounded, MADV_HUGEPAGE);  // a hint; failure is harmless
#endif
    return p;
}

void FreeLarge(void* p) noexcept { std::free(p); }

}  // namespace korvane::detail
