#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace sumiro {

/// Allocates large arrays on the kernel's large (2 MiB) pages where it offers them, small ones
/// as usual. Memory that is filled once at load, tens of megabytes of it, then faults in once
/// per large page instead of once per 4 KiB page: most of what filling it costs, and far more
/// on a virtual machine. Meant for one large array, as its last large page may be resident
/// whole. Elements are default-initialized: a vector of numbers grows without being zeroed, so
/// its owner writes every element it reads.
template <class T>
class LargePageAllocator {
public:
    using value_type = T;

    /// Large pages of this size, the x86-64 and arm64 one.
    static constexpr std::size_t kLargePage = std::size_t{2} << 20;
    /// Smallest array placed on large pages.
    static constexpr std::size_t kSmallest = kLargePage;

    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > std::size_t(-1) / sizeof(T)) {
            throw std::bad_array_new_length();
        }
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kSmallest) {
            return std::allocator<T>().allocate(n);
        }
        const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
        void* memory = std::aligned_alloc(kLargePage, rounded);
        if (memory == nullptr) {
            throw std::bad_alloc();
        }
#if defined(__linux__) && defined(MADV_HUGEPAGE)
        // Advice only: without large pages the array is in ordinary ones.
        madvise(memory, rounded, MADV_HUGEPAGE);
#endif
        return static_cast<T*>(memory);
    }

    void deallocate(T* memory, std::size_t n) noexcept {
        if (n * sizeof(T) < kSmallest) {
            std::allocator<T>().deallocate(memory, n);
        } else {
            std::free(memory);
        }
    }

    template <class U>
    void construct(U* at) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(at)) U;
    }
    template <class U, class... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const LargePageAllocator&, const LargePageAllocator&) { return true; }
};

}  // namespace sumiro
