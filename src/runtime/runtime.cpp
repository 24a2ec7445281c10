// Runtime services: names, the output line buffer, number formatting, the stack guard.
#include "runtime/runtime.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/format.h"

namespace velune {

// The standard library alone names several hundred: room for them from the start.
NameTable::NameTable() : slots(2048, nullptr) {}

std::size_t NameTable::hash(std::string_view text) {
    std::uint64_t h = 14695981039346656037ull;  // FNV-1a: names are short
    for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

const Name* NameTable::intern(std::string_view text) {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = hash(text) & mask;
    for (; slots[i] != nullptr; i = (i + 1) & mask) {
        if (slots[i]->text == text) return slots[i];
    }
    if (count % chunk_size == 0) chunks.push_back(std::make_unique<Name[]>(chunk_size));
    Name* name = &chunks.back()[count % chunk_size];
    name->text = std::string(text);
    slots[i] = name;
    if (++count * 2 > slots.size()) grow();
    return name;
}

void NameTable::scope_without_root() const {
    rootless = true;
    for (std::size_t i = 0; i < count; ++i) ++chunks[i / chunk_size][i % chunk_size].version;
}

void NameTable::grow() {
    std::vector<const Name*> bigger(slots.size() * 2, nullptr);
    const std::size_t mask = bigger.size() - 1;
    for (const Name* n : slots) {
        if (n == nullptr) continue;
        std::size_t i = hash(n->text) & mask;
        while (bigger[i] != nullptr) i = (i + 1) & mask;
        bigger[i] = n;
    }
    slots.swap(bigger);
}

void OutputBuffer::write(std::string_view text) {
    const auto newline = text.rfind('\n');
    if (newline == std::string_view::npos) {
        pending.append(text);
        return;
    }
    // Every line completed here goes out in one write: a long report costs few calls.
    const std::string_view complete = text.substr(0, newline + 1);
    if (pending.empty()) {
        write_all(complete);
    } else {
        pending.append(complete);
        write_all(pending);
        pending.clear();
    }
    pending.append(text.substr(newline + 1));
}

void OutputBuffer::flush() {
    if (pending.empty()) return;
    std::string line;
    line.swap(pending);
    write_all(line);
}

void OutputBuffer::write_all(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            // Lost output must never pass for success.
            const char* reason = n < 0 ? std::strerror(errno) : "nothing written";
            diagnostic(std::string("cannot write to standard output: ") + reason);
            std::_Exit(exit_status::output_failure);
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string format_integer(std::int64_t n) {
    char text[24];
    const auto end = std::to_chars(text, text + sizeof text, n).ptr;
    return std::string(text, static_cast<std::size_t>(end - text));
}

std::string format_float(double d) {
    if (std::isnan(d)) return "nan";
    if (std::isinf(d)) return d < 0 ? "-inf" : "inf";
    // The C library rounds exactly from the double's binary value.
    // The widest double needs 309 integer digits, a sign, a point and six decimals.
    char text[330];
    const int length = std::snprintf(text, sizeof text, "%.6f", d);
    return std::string(text, static_cast<std::size_t>(length));
}

std::string format_location(const source_location& where) {
    std::string text = where.file;
    if (where.line > 0) text += ":" + format_integer(where.line);
    if (where.line > 0 && where.column > 0) text += ":" + format_integer(where.column);
    return text;
}

void diagnostic(std::string_view text) {
    std::string line = "velune: ";
    line.append(text);
    line += '\n';
    // One write, so the line is never split; a failure here has nowhere left to be told.
    std::string_view rest = line;
    while (!rest.empty()) {
        const ssize_t n = ::write(2, rest.data(), rest.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        rest.remove_prefix(static_cast<std::size_t>(n));
    }
}

void internal_failure(std::string_view what) {
    diagnostic("internal failure: " + std::string(what));
#ifdef VELUNE_FUZZING
    std::abort();  // a finding for the fuzzer, which would take a quiet exit for the end of input
#endif
    std::_Exit(exit_status::internal_failure);
}

StackGuard::StackGuard() : base(static_cast<const char*>(__builtin_frame_address(0))) {
    // Use half of the real limit: the rest covers the frames below us and the sanitizers'
    // larger frames.
    std::size_t available = 8u << 20;
    rlimit rl{};
    if (getrlimit(RLIMIT_STACK, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
        available = static_cast<std::size_t>(rl.rlim_cur);
    }
    limit = std::min<std::size_t>(available, 256u << 20) / 2;
}

bool StackGuard::exhausted() const {
    const char* here = static_cast<const char*>(__builtin_frame_address(0));
    const std::size_t used = here < base ? static_cast<std::size_t>(base - here) : 0;
    return used > limit;
}

void StackGuard::fail(const char* what) {
    throw HostFailure(std::string(what) + ": the host stack is exhausted");
}

namespace {
std::size_t memory_available() {
    std::size_t available = static_cast<std::size_t>(sysconf(_SC_PHYS_PAGES)) * static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
        rlimit rl{};
        if (getrlimit(resource, &rl) == 0 && rl.rlim_cur != RLIM_INFINITY) {
            available = std::min(available, static_cast<std::size_t>(rl.rlim_cur));
        }
    }
    if (std::FILE* cgroup = std::fopen("/sys/fs/cgroup/memory.max", "r")) {
        unsigned long long limit = 0;
        if (std::fscanf(cgroup, "%llu", &limit) == 1 && limit > 0) {
            available = std::min(available, static_cast<std::size_t>(limit));
        }
        std::fclose(cgroup);
    }
    return available;
}
}  // namespace

Runtime::Runtime(int output_fd) : out(output_fd) {
    memory.limit = memory_available() / 4 * 3;
    heap.set_budget(&memory);
    frame_stack.set_budget(&memory);
    heap.add_root_source(this);
}

Runtime::~Runtime() { heap.remove_root_source(this); }

}  // namespace velune
