// The fuzz targets' allocation limit: every C++ allocation is counted, and one that would
// take the live total past the limit throws std::bad_alloc, as malloc does under ulimit -v.
// The collector's objects, strings and vectors all come through here.
#include "memory_limit.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace velune::fuzz {

std::size_t memory_limit = 0;
std::size_t memory_live = 0;

}  // namespace velune::fuzz

namespace {

using velune::fuzz::memory_limit;
using velune::fuzz::memory_live;

void* counted(void* p) {
    if (p != nullptr) memory_live += malloc_usable_size(p);
    return p;
}

void* allocate(std::size_t size, std::size_t alignment, bool nothrow) {
    if (memory_limit != 0 && (size > memory_limit || memory_live > memory_limit - size)) {
        if (nothrow) return nullptr;
        throw std::bad_alloc();
    }
    if (size == 0) size = 1;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(size)
                  : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (p == nullptr && !nothrow) throw std::bad_alloc();
    return counted(p);
}

void release(void* p) noexcept {
    if (p == nullptr) return;
    memory_live -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return allocate(n, 0, false); }
void* operator new[](std::size_t n) { return allocate(n, 0, false); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0, true); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return allocate(n, 0, true); }
void* operator new(std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a), false); }
void* operator new[](std::size_t n, std::align_val_t a) { return allocate(n, static_cast<std::size_t>(a), false); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { release(p); }
