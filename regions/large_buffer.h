#pragma once
// Storage for large arrays of plain values (an overview, per-step averages, level
// pyramids) that are written in full before they are read: the memory is left
// uninitialised, so no page is touched twice (once to zero it, once to fill it). Arrays
// of 2 MiB or more are aligned to 2 MiB and offered to the kernel for huge pages: the
// first touch of fresh memory costs one fault per 2 MiB instead of one per 4 KiB (on a
// virtual machine each fault is dear), and later scattered reads need fewer page walks.
//
// Thread contract: an object is owned by one thread at a time; reading it from several
// threads after it was filled is safe.
#include <cstddef>
#include <memory>
#include <type_traits>
#include <new>
#include <utility>
#include <vector>

namespace korvane {

namespace detail {
void* AllocateLarge(std::size_t count, std::size_t size);  // throws std::bad_alloc
void FreeLarge(void* p) noexcept;
}  // namespace detail

// The same storage for std::vector: large vectors get huge pages, and elements that a
// resize or a size constructor adds are default-initialised (left unset for plain
// values), so they must be written before they are read.
template <class T>
struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U>
    LargeAllocator(const LargeAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(detail::AllocateLarge(n, sizeof(T))); }
    void deallocate(T* p, std::size_t) noexcept { detail::FreeLarge(p); }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    friend bool operator==(const LargeAllocator&, const LargeAllocator&) noexcept { return true; }
};

template <class T>
using LargeVector = std::vector<T, LargeAllocator<T>>;

template <class T>
class LargeBuffer {
    static_assert(std::is_trivially_default_constructible_v<T> && std::is_trivially_destructible_v<T>);

public:
    LargeBuffer() = default;
    // `count` values, uninitialised. Throws std::bad_alloc.
    explicit LargeBuffer(std::size_t count)
        : data_(static_cast<T*>(detail::AllocateLarge(count, sizeof(T)))), size_(count) {}
    LargeBuffer(LargeBuffer&& other) noexcept
        : data_(std::move(other.data_)), size_(std::exchange(other.size_, 0)) {}
    LargeBuffer& operator=(LargeBuffer&& other) noexcept {
        data_ = std::move(other.data_);
        size_ = std::exchange(other.size_, 0);
        return *this;
    }

    T* data() noexcept { return data_.get(); }
    const T* data() const noexcept { return data_.get(); }
    std::size_t size() const noexcept { return size_; }
    bool empty() const noexcept { return size_ == 0; }
    T& operator[](std::size_t i) noexcept { return data_[i]; }
    const T& operator[](std::size_t i) const noexcept { return data_[i]; }

private:
    struct Free {
        void operator()(T* p) const noexcept { detail::FreeLarge(p); }
    };
    std::unique_ptr<T[], Free> data_;
    std::size_t size_ = 0;
};

}  // namespace korvane
