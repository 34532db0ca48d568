#pragma once
// Storage for large arrays of plain values (an overview, per-step averages) that are
// written in full before they are read: the memory is left uninitialised, so no page
// is touched twice (once to zero it, once to fill it). Arrays of 2 MiB or more are
// aligned to 2 MiB and offered to the kernel for huge pages, which makes their first
// touch and later scattered reads cheaper.
//
// Thread contract: an object is owned by one thread at a time; reading it from several
// threads after it was filled is safe.
#include <cstddef>
#include <memory>
#include <type_traits>
#include <utility>

namespace korvane {

namespace detail {
void* AllocateLarge(std::size_t count, std::size_t size);  // throws std::bad_alloc
void FreeLarge(void* p) noexcept;
}  // namespace detail

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
