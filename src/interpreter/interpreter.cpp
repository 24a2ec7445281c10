// The loop, the nested runs with their error reports, and do_string.
#include "interpreter/interpreter.h"

#include <algorithm>

#include "parse/parse.h"

namespace velune {

Interpreter::Interpreter(Runtime& rt) : rt(rt) { rt.heap.add_root_source(this); }

Interpreter::~Interpreter() {
    rt.heap.remove_root_source(this);
    for (Frame* frame : frames) frame_deleter{&rt.frame_pool}(frame);
}

void Interpreter::trace_roots(Tracer& t) const {
    for (const auto& frame : frames) frame->trace(t);
    t.visit(last_result);
}

value* Interpreter::run() {
    // The host stack only grows with nested runs, so one check per run covers every step.
    rt.stack.check("too many nested runs (print, to-string or macroexpand calling back without end)");
    while (!frames.empty()) {
        rt.heap.safe_point();  // the only place a collection may start
        if (!frames.back()->next_step(*this)) continue;
        frame_ptr done = pop();
        if (frames.empty()) return done->finish();
        frames.back()->resume(done->finish());  // delivered before the next safe point
    }
    return nullptr;
}

bool Interpreter::next_step() {
    if (frames.empty()) return true;
    if (!frames.back()->next_step(*this)) return false;
    frame_ptr done = pop();
    if (frames.empty()) {
        last_result = done->finish();
        return true;
    }
    frames.back()->resume(done->finish());
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

// The trace is printed upside down: the failing frame first, the root last.
void report(Interpreter& in, const char* header) {
    const std::string text = in.display();
    std::vector<std::string_view> lines;
    std::string_view rest(text);
    for (;;) {
        const auto newline = rest.find('\n');
        lines.push_back(rest.substr(0, newline));
        if (newline == std::string_view::npos) break;
        rest.remove_prefix(newline + 1);
    }
    std::string reversed;
    reversed.reserve(text.size() + 1);
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        if (line != lines.rbegin()) reversed += '\n';
        reversed += *line;
    }
    in.rt.out.line(header);
    in.rt.out.line(reversed);
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
