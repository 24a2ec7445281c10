// Size-class free lists carved from large slabs: the heap's objects come and go by the
// million, and the C library's allocator spends most of a sweep merging freed chunks.
#pragma once

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace velune {

// A ceiling on what the pools take from the system, shared by the heap's pool and the frame
// pool, so that a runaway recursion ends in an orderly out-of-memory failure rather than
// being killed by the operating system.
struct MemoryBudget {
    std::size_t used = 0;
    std::size_t limit = static_cast<std::size_t>(-1);
};

class SlabPool {
public:
    void set_budget(MemoryBudget* b) { budget = b; }

    static constexpr std::size_t granularity = 8;  // every object needs 8-byte alignment only
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

    // The same for a small size when a free slot or the current slab has room; nullptr
    // when it would take a new slab (or under AddressSanitizer): `allocate` then.
    void* allocate_quick(std::size_t size) {
#if defined(__SANITIZE_ADDRESS__)
        (void)size;
        return nullptr;
#else
        const std::size_t c = size_class(size);
        if (free_slot* slot = free_lists[c]) {
            free_lists[c] = slot->next;
            return slot;
        }
        const std::size_t bytes = c * granularity;
        if (static_cast<std::size_t>(bump_end - bump) < bytes) return nullptr;
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

    // Constructs a T in pool memory; the memory goes back if the constructor throws.
    template <class T, class... Args> T* make(Args&&... args) {
        void* memory = allocate(sizeof(T));
        try {
            return new (memory) T(std::forward<Args>(args)...);
        } catch (...) {
            release(memory, sizeof(T));
            throw;
        }
    }

    // How much may be allocated before the next collection, `live` bytes having survived
    // this one. Twice what survived, so that a large heap is marked once per tripling and
    // a deep recursion's stack is not traced again at every step of its growth; at least
    // the floor, small enough that the young objects stay in the caches. At most half the
    // room the budget has left, counting the free slots of the slabs already taken, so that
    // a program whose live data fits is not refused memory that garbage holds; but never
    // under a quarter of what survived, so that a program running out of memory (a
    // recursion without end) meets the limit after a few more collections, not after a
    // collection per MiB, each tracing all it holds.
    // `basis` is what the wait is measured against: what survived, or what is surely alive
    // of it when the rest may be garbage (see Heap::collect); the room is counted from `live`.
    static constexpr std::size_t collection_floor = 4u << 20;
    std::size_t next_collection_after(std::size_t live, std::size_t basis) const {
        const std::size_t wanted = std::max(collection_floor, 2 * basis);
        if (budget == nullptr) return wanted;
        const std::size_t held = slabs.size() * slab_bytes;
        const std::size_t room = (budget->limit - budget->used) + (held > live ? held - live : 0);
        return std::max({std::min(wanted, room / 2), basis / 4, std::size_t{1} << 20});
    }
    std::size_t next_collection_after(std::size_t live) const { return next_collection_after(live, live); }

private:
    struct free_slot {
        free_slot* next;
    };
    // Slabs are huge-page sized and aligned: deep recursion touches memory by the gigabyte,
    // and one fault per 2 MiB costs far less than one per 4 KiB.
    static constexpr std::size_t slab_bytes = 2u << 20;
    struct slab_free {
        void operator()(std::byte* p) const noexcept { std::free(p); }
    };
    static std::size_t size_class(std::size_t size) { return (size + granularity - 1) / granularity; }

    std::array<free_slot*, max_small / granularity + 1> free_lists{};
    std::vector<std::unique_ptr<std::byte, slab_free>> slabs;
    std::byte* bump = nullptr;
    std::byte* bump_end = nullptr;
    MemoryBudget* budget = nullptr;

    // Out of line, so that the common allocation saves no registers for it.
    [[gnu::noinline]] void new_slab() {
        if (budget != nullptr) {
            if (budget->limit - budget->used < slab_bytes) throw std::bad_alloc();
            budget->used += slab_bytes;
        }
        // Left uninitialised: every slot is constructed before use.
        auto* memory = static_cast<std::byte*>(std::aligned_alloc(slab_bytes, slab_bytes));
        if (memory == nullptr) throw std::bad_alloc();
        slabs.emplace_back(memory);
        ::madvise(memory, slab_bytes, MADV_HUGEPAGE);
        bump = memory;
        bump_end = bump + slab_bytes;
    }
};

// Memory for objects that die in the reverse order of their making: the interpreters'
// frames, what frames keep just above themselves, and the special forms' objects. Taking is
// a pointer bump; giving an object back resets the pointer to it, which also gives back
// everything made after it.
class StackArena {
public:
    StackArena() = default;
    StackArena(const StackArena&) = delete;
    StackArena& operator=(const StackArena&) = delete;
    ~StackArena() {
        for (chunk& c : chunks) std::free(c.base);
    }
    void set_budget(MemoryBudget* b) { budget = b; }

    void* allocate(std::size_t size) {
#if defined(__SANITIZE_ADDRESS__)
        void* memory = ::operator new(size);
        try {
            live.push_back(memory);
        } catch (...) {
            ::operator delete(memory);
            throw;
        }
        return memory;
#else
        size = (size + 7) & ~std::size_t{7};
        if (static_cast<std::size_t>(end - top) < size) next_chunk(size);
        void* memory = top;
        top += size;
        return memory;
#endif
    }

    void release(void* memory) noexcept {
#if defined(__SANITIZE_ADDRESS__)
        // Everything made after `memory` goes with it, as a pointer reset would take it.
        for (;;) {
            void* newest = live.back();
            live.pop_back();
            ::operator delete(newest);
            if (newest == memory) return;
        }
#else
        auto* p = static_cast<std::byte*>(memory);
        // Everything newer is gone, so a pointer outside the current chunk lies in the one
        // before it, and the current chunk is empty (kept for the next growth).
        while (p < chunks[current].base || p >= chunks[current].base + chunks[current].size) {
            --current;
        }
        top = p;
        end = chunks[current].base + chunks[current].size;
#endif
    }

    // Constructs a T; the memory goes back if the constructor throws.
    template <class T, class... Args> T* make(Args&&... args) { return make_sized<T>(0, std::forward<Args>(args)...); }
    // The same with `extra` bytes after the object, for its own use.
    template <class T, class... Args> T* make_sized(std::size_t extra, Args&&... args) {
        static_assert(alignof(T) <= 8);
        void* memory = allocate(sizeof(T) + extra);
        try {
            return new (memory) T(std::forward<Args>(args)...);
        } catch (...) {
            release(memory);
            throw;
        }
    }

private:
    struct chunk {
        std::byte* base;
        std::size_t size;
    };
    static constexpr std::size_t chunk_bytes = 2u << 20;
    std::vector<chunk> chunks;
#if defined(__SANITIZE_ADDRESS__)
    std::vector<void*> live;  // each allocation on its own, so a stale frame is a use after free
#endif
    std::size_t current = 0;
    std::byte* top = nullptr;
    std::byte* end = nullptr;
    MemoryBudget* budget = nullptr;

    void next_chunk(std::size_t size) {
        std::size_t next = chunks.empty() ? 0 : current + 1;
        if (next < chunks.size() && chunks[next].size < size) {
            // A spare chunk too small for this request: drop it and every spare after it.
            for (std::size_t i = next; i < chunks.size(); ++i) {
                if (budget != nullptr) budget->used -= chunks[i].size;
                std::free(chunks[i].base);
            }
            chunks.resize(next);
        }
        if (next == chunks.size()) {
            const std::size_t bytes = size > chunk_bytes ? (size + chunk_bytes - 1) / chunk_bytes * chunk_bytes : chunk_bytes;
            if (budget != nullptr) {
                if (budget->limit - budget->used < bytes) throw std::bad_alloc();
                budget->used += bytes;
            }
            auto* memory = static_cast<std::byte*>(std::aligned_alloc(chunk_bytes, bytes));
            if (memory == nullptr) {
                if (budget != nullptr) budget->used -= bytes;
                throw std::bad_alloc();
            }
            ::madvise(memory, bytes, MADV_HUGEPAGE);
            chunks.reserve(chunks.size() + 1);
            chunks.push_back({memory, bytes});
        }
        current = next;
        top = chunks[current].base;
        end = top + chunks[current].size;
    }
};

}  // namespace velune
