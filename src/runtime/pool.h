// Size-class free lists carved from large slabs: the heap's objects come and go by the
// million, and the C library's allocator spends most of a sweep merging freed chunks.
#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <vector>

namespace velune {

class SlabPool {
public:
    static constexpr std::size_t granularity = 16;
    static constexpr std::size_t max_small = 256;  // larger requests go to operator new

    void* allocate(std::size_t size) {
#if defined(__SANITIZE_ADDRESS__)
        // Under AddressSanitizer every object gets its own allocation, so a collector
        // fault shows up as a use after free.
        return ::operator new(size);
#else
        if (size > max_small) return ::operator new(size);
        const std::size_t c = size_class(size);
        if (free_slot* slot = free_lists[c]) {
            free_lists[c] = slot->next;
            return slot;
        }
        const std::size_t bytes = c * granularity;
        if (static_cast<std::size_t>(bump_end - bump) < bytes) new_slab();
        void* memory = bump;
        bump += bytes;
        return memory;
#endif
    }

    void release(void* memory, std::size_t size) {
#if defined(__SANITIZE_ADDRESS__)
        (void)size;
        ::operator delete(memory);
#else
        if (size > max_small) {
            ::operator delete(memory);
            return;
        }
        auto* slot = static_cast<free_slot*>(memory);
        const std::size_t c = size_class(size);
        slot->next = free_lists[c];
        free_lists[c] = slot;
#endif
    }

private:
    struct free_slot {
        free_slot* next;
    };
    static constexpr std::size_t slab_bytes = 256u << 10;
    static std::size_t size_class(std::size_t size) { return (size + granularity - 1) / granularity; }

    std::array<free_slot*, max_small / granularity + 1> free_lists{};
    std::vector<std::unique_ptr<std::byte[]>> slabs;
    std::byte* bump = nullptr;
    std::byte* bump_end = nullptr;

    void new_slab() {
        // Left uninitialised: every slot is constructed before use.
        slabs.push_back(std::unique_ptr<std::byte[]>(new std::byte[slab_bytes]));
        bump = slabs.back().get();
        bump_end = bump + slab_bytes;
    }
};

}  // namespace velune
