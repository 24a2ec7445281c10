// The loop, the nested runs with their error reports, and do_string.
#include "interpreter/interpreter.h"

#include <algorithm>

#include "parse/parse.h"

namespace velune {

Interpreter::Interpreter(Runtime& rt) : rt(rt) { rt.heap.add_root_source(this); }

Interpreter::~Interpreter() {
    rt.heap.remove_root_source(this);
    // Newest first: the frame stack takes them back in the order it gave them out.
    while (!frames.empty()) {
        drop(frames.back());
        frames.pop_back();
    }
}

void Interpreter::trace_roots(Tracer& t) const {
    const std::size_t count = frames.size();
    // The frame on top at the low point may have changed since; those under it have not.
    const std::size_t from = t.only_young() && fewest > 1 ? fewest - 1 : 0;
    std::size_t visited = from > 0 ? visits_below[from] : 0;
    t.skipped(visited);
    visits_below.resize(count + 1);
    for (std::size_t i = from; i < count; ++i) {
        visits_below[i] = visited;
        const std::size_t before = t.visit_count();
        frames[i]->trace(t);
        visited += t.visit_count() - before;
        t.drain();
    }
    visits_below[count] = visited;
    fewest = count;
    t.visit(last_result);
    t.visit(pending_arguments);
}

value* Interpreter::run() {
    // The host stack only grows with nested runs, so one check per run covers every step.
    rt.stack.check("too many nested runs (print, to-string or macroexpand calling back without end)");
    while (!frames.empty()) {
        rt.heap.safe_point();  // the only place a collection may start
        if (rt.step_limit != 0 && ++rt.steps > rt.step_limit) throw StepLimitReached();
        if (!frames.back()->next_step(*this)) continue;
        value* v = pop();
        if (frames.empty()) return v;
        frames.back()->resume(*this, v);  // delivered before the next safe point
    }
    return nullptr;
}

bool Interpreter::next_step() {
    if (frames.empty()) return true;
    if (!frames.back()->next_step(*this)) return false;
    value* v = pop();
    if (frames.empty()) {
        last_result = v;
        return true;
    }
    frames.back()->resume(*this, v);
    return false;
}

std::string Interpreter::display() const {
    std::string text;
    for (const auto& frame : frames) {
        if (!text.empty()) text += '\n';
        text += frame->display(rt);
    }
    return text.empty() ? "(nothing to do)" : text;
}

namespace {

// Appends a frame's text with its lines in reverse order, as cutting and reversing the
// whole trace would.
void append_reversed_lines(std::string& out, std::string_view text) {
    for (;;) {
        const auto newline = text.rfind('\n');
        out.append(text.substr(newline == std::string_view::npos ? 0 : newline + 1));
        out += '\n';
        if (newline == std::string_view::npos) return;
        text = text.substr(0, newline);
    }
}

// The trace is printed upside down: the failing frame first, the root last. It goes out in
// blocks of lines, never built whole: memory stays at one block, and time and system calls
// grow linearly with the frames. Only a stack deeper than twice `shown` frames (a runaway
// recursion, whose whole trace would run to hundreds of megabytes) shows its two ends
// around one line that counts the frames left out.
void report(Interpreter& in, const char* header) {
    constexpr std::size_t shown = 500000;
    constexpr std::size_t block_size = 1 << 16;
    OutputBuffer& out = in.rt.out;
    out.line(header);
    const std::size_t count = in.frames.size();
    if (count == 0) {
        out.line("(nothing to do)");
        return;
    }
    std::string block;
    for (std::size_t i = count; i-- > 0;) {
        if (count > 2 * shown && i == count - shown - 1) {
            block += "... " + std::to_string(count - 2 * shown) + " frames not shown ...\n";
            i = shown - 1;
        }
        append_reversed_lines(block, in.frames[i]->display(in.rt));
        if (block.size() >= block_size) {
            out.write(block);
            block.clear();
        }
    }
    out.write(block);
}

template <class Root, class... Args>
value* run_nested(Runtime& rt, const char* error_header, const char* internal_header, Args... args) {
    Interpreter in(rt);
    in.push<Root>(args...);
    try {
        return in.run();
    } catch (const LispError& e) {
        report(in, error_header);
        rt.out.line("Error: " + e.message);
        throw;
    } catch (const std::exception&) {
        report(in, internal_header);
        throw;
    }
}

}  // namespace

value* expand_new(Runtime& rt, environment* env, value* expression) {
    return run_nested<ExpandFrame>(rt, "Error during expansion at:", "Internal error during expansion at:", env,
                                   expression);
}

value* evaluate_new(Runtime& rt, environment* env, value* expression) {
    return run_nested<EvalFrame>(rt, "Error during evaluation at:", "Internal error during execution at:", env,
                                 expression);
}

value* compute_new(Runtime& rt, environment* env, value* function, value* arguments) {
    return run_nested<CallFrame>(rt, "Error during execution at:", "Internal error during execution at:", function,
                                 arguments, rt.nil, env);
}

value* load_new(Runtime& rt, environment* env, std::string source, std::string what) {
    return run_nested<LoadFrame>(rt, "Error during evaluation at:", "Internal error during execution at:", env,
                                 std::move(source), std::move(what), rt.nil);
}

value* call(Runtime& rt, const Name* name, const std::vector<value*>& arguments) {
    value* function = rt.global->lookup_name(name);
    if (function == nullptr) throw LispError{"Symbol " + name->text + " is undefined"};
    return compute_new(rt, rt.global, function, make_list(rt, arguments));
}

namespace {

// The innermost do_string a failure leaves knows the nearest top-level form.
void note_failed_form(Runtime& rt, std::string_view file, std::string_view source, std::int64_t start) {
    if (!rt.diagnostics.failed_form.file.empty()) return;
    rt.diagnostics.failed_form = source_location{std::string(file), locate(source, start).line, 0};
}

}  // namespace

value* do_string(Runtime& rt, const std::string& source, environment* env, std::string_view file) {
    value* last = rt.nil;
    TempRoot keep(rt.heap, last);  // lives across the next expression's runs
    std::int64_t position = 0;
    for (;;) {
        const std::int64_t start = skip_blanks(source, position);
        std::optional<result> next;
        try {
            next = next_expr(rt, source, start);
        } catch (SyntaxError& e) {
            e.where.file = file;
            throw;
        }
        if (!next) {
            warn_unmatched_close(rt, file);
            return last;
        }
        position = next->position;
        try {
            value* expanded = expand_new(rt, env, next->expression);
            last = evaluate_new(rt, env, expanded);
        } catch (SyntaxError& e) {
            // Not ours: a loaded file's (its LoadFrame read it) or a string given to read.
            auto& loading = rt.diagnostics.loading;
            if (e.where.file.empty() && !e.in_read && !loading.empty()) e.where.file = loading.back();
            note_failed_form(rt, file, source, start);
            throw;
        } catch (...) {
            note_failed_form(rt, file, source, start);
            throw;
        }
    }
}

}  // namespace velune
