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
    for (const auto& frame : frames) frame->trace(t);
    t.visit(last_result);
    t.visit(pending_arguments);
}

value* Interpreter::run() {
    // The host stack only grows with nested runs, so one check per run covers every step.
    rt.stack.check("too many nested runs (print, to-string or macroexpand calling back without end)");
    while (!frames.empty()) {
        rt.heap.safe_point();  // the only place a collection may start
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

// Prints a frame's text with its lines in reverse order, as cutting and reversing the
// whole trace would.
void print_reversed_lines(OutputBuffer& out, std::string_view text) {
    for (;;) {
        const auto newline = text.rfind('\n');
        if (newline == std::string_view::npos) {
            out.line(text);
            return;
        }
        out.line(text.substr(newline + 1));
        text = text.substr(0, newline);
    }
}

// The trace is printed upside down: the failing frame first, the root last. It is written
// frame by frame, never built whole, and a stack deeper than twice `shown` frames (a
// runaway recursion) shows its two ends around one line that counts the frames left out.
void report(Interpreter& in, const char* header) {
    constexpr std::size_t shown = 10000;
    OutputBuffer& out = in.rt.out;
    out.line(header);
    const std::size_t count = in.frames.size();
    if (count == 0) {
        out.line("(nothing to do)");
        return;
    }
    for (std::size_t i = count; i-- > 0;) {
        if (count > 2 * shown && i == count - shown - 1) {
            out.line("... " + std::to_string(count - 2 * shown) + " frames not shown ...");
            i = shown - 1;
        }
        print_reversed_lines(out, in.frames[i]->display(in.rt));
    }
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

value* do_string(Runtime& rt, const std::string& source, environment* env) {
    value* last = rt.nil;
    TempRoot keep(rt.heap, last);  // lives across the next expression's runs
    std::int64_t position = 0;
    while (auto next = next_expr(rt, source, position)) {
        position = next->position;
        value* expanded = expand_new(rt, env, next->expression);
        last = evaluate_new(rt, env, expanded);
    }
    return last;
}

}  // namespace velune
