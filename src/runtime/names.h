// Interned names: the same bytes give the same pointer for the life of the runtime.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace velune {

struct value;

struct Name {
    std::string text;
    // Where the name last sat in a large scope (in practice the global one): checked against
    // the entry's key before use, so a rebinding, a new define or an unset cannot mislead it.
    mutable std::uint32_t scope_hint = 0;
    // Bound by the standard library in the global scope: only writes to these names there can
    // change what the library's fast paths rely on.
    mutable bool watched = false;
    // Named in the code that defgeneric writes: a scope around a generic that binds one of
    // these makes that code mean something else.
    mutable bool in_dispatch = false;
    // current-scope (1) and parent-scope (2), which every scope binds without an entry.
    mutable std::uint8_t scope_role = 0;
    mutable const Name* scope_partner = nullptr;  // for those two: the other one
    // Set for good once any scope with a parent binds the name (a parameter, a loop
    // variable): lookups of the others (the globals a body calls) go straight to the
    // outermost scope of the chain.
    mutable bool bound_inside = false;
    // The name's value in the global scope (nullptr while unbound there), kept by that scope
    // on every write: a global read is one load instead of a search.
    mutable value* global_value = nullptr;
    // Changes whenever what a lookup of the name may find can change: its global value is
    // written, a scope with a parent binds it for the first time, or a scope is made whose
    // chain does not end at the global one (NameTable::scope_without_root). A head looked up
    // at one version is the head at that version (see node::head).
    mutable std::uint64_t version = 1;
    void set_global_value(value* v) const {
        global_value = v;
        ++version;
    }
    void set_bound_inside() const {
        if (bound_inside) return;
        bound_inside = true;
        ++version;
    }
};

class NameTable {
public:
    NameTable();
    const Name* intern(std::string_view text);
    std::size_t size() const { return count; }
    // A scope without a parent has been made besides the global one: a lookup of a name no
    // inner scope binds may now end there, so every version changes, and no head is kept
    // from then on.
    void scope_without_root() const;
    bool every_scope_rooted() const { return !rootless; }

private:
    // Open addressing over a power-of-two table, at most half full: start-up interns every
    // name of the standard library, and one probe or two is the common case. The names
    // themselves sit in chunks that never move.
    static constexpr std::size_t chunk_size = 256;
    std::vector<const Name*> slots;
    std::vector<std::unique_ptr<Name[]>> chunks;
    std::size_t count = 0;
    mutable bool rootless = false;

    static std::size_t hash(std::string_view text);
    void grow();
};

}  // namespace velune
