// BodyFrame: a Velune function's body run from its nodes, with the frames it stands for
// shown as the plain path would show them.
#include <algorithm>
#include <string>
#include <utility>

#include "interpreter/compiled.h"
#include "interpreter/interpreter.h"
#include "value/printer.h"

namespace velune {

namespace {

value* rest_of(value* list) { return as<cell>(list)->cdr; }

bool takes_form(exec_mode mode) { return mode == exec_mode::no_eval || mode == exec_mode::no_expand; }

// Out of line, so that the check where levels begin stays a load and a test.
[[gnu::noinline, gnu::cold]] void count_step(Runtime& rt) {
    if (++rt.steps > rt.step_limit) throw StepLimitReached();
}

// Whether a BodyFrame can evaluate the arguments of a Velune function's call: one with a
// native routine (tried on the values), a generic (see apply_generic), or one whose
// parameters take `count` arguments as new entries of a fresh scope (and its rest parameter
// the others).
bool runs_here(lispfunc* f, std::size_t count) {
    if (f->dispatches || f->fast != nullptr) return true;
    const std::size_t wanted = f->parameters.size();
    return (f->rest_parameter == nullptr ? count == wanted : count >= wanted) && f->plain_parameters();
}

// runs_here, asking first what a straight run's callees nearly always are.
[[gnu::always_inline]] inline bool runs_straight_here(lispfunc* f, std::size_t count) {
    return f->direct_count() == count || runs_here(f, count);
}

// The scope of a call of a function with a rest parameter: it takes a list of the values
// after the parameters', bound as the general path binds it.
[[gnu::noinline]] velune::environment* scope_with_rest(Runtime& rt, lispfunc* f, value* const* arguments, std::size_t count) {
    auto* call_scope = rt.heap.make<velune::environment>(rt, f->closure);
    const std::size_t wanted = f->parameters.size();
    for (std::size_t i = 0; i < wanted; ++i) {
        call_scope->bind_fresh_parameter(as<named_symbol>(f->parameters[i])->name, arguments[i]);
    }
    call_scope->bind(f->rest_parameter, make_list(rt, arguments + wanted, count - wanted));
    return call_scope;
}

// A fresh scope of a function with plain parameters (runs_here), binding them to the values.
velune::environment* scope_of_call(Runtime& rt, lispfunc* f, value* const* arguments, std::size_t count) {
    if (f->rest_parameter != nullptr) [[unlikely]] return scope_with_rest(rt, f, arguments, count);
    auto* call_scope = rt.heap.make<velune::environment>(rt, f->closure);
    assert(f->parameter_names() != nullptr && count == f->parameters.size());
    call_scope->bind_fresh_parameters(f->parameter_names(), arguments, count);
    return call_scope;
}

// A callee level's argument values, copied to follow its function value in `slots`: they
// may be the level's own, one slot down. One or two, the commonest, without a call.
[[gnu::always_inline]] inline void after_head(value** slots, value* const* arguments, std::size_t count) {
    if (count <= 2) {
        if (count == 2) slots[2] = arguments[1];
        if (count != 0) slots[1] = arguments[0];
    } else {
        std::copy_backward(arguments, arguments + count, slots + count + 1);
    }
}

}  // namespace

bool BodyFrame::worth_a_frame(Runtime& rt, lispfunc* function) {
    if (!function->compiled) function->compiled = compiled_for(rt, function->body);
    return !function->compiled->flat;
}

[[gnu::always_inline]] inline BodyFrame* BodyFrame::make(Interpreter& in, velune::environment* scope, lispfunc* function) {
    if (!function->compiled) function->compiled = compiled_for(in.rt, function->body);
    const compiled_body& code = *function->compiled;
    // Room for the values of a deferred scope of the frame's own, for its first call or a
    // tail call that takes it over.
    std::size_t own = function->parameters.size();
    if (own != 0 && (function->rest_parameter != nullptr || !function->plain_parameters())) own = 0;
    const std::size_t values = own + code.values + spare_values;
    const std::size_t extra = (code.levels + spare_levels) * sizeof(level) + values * sizeof(value*);
    auto* frame = in.push_sized<BodyFrame>(extra, scope, function, in.rt.nil);
    frame->room = static_cast<std::uint32_t>(code.levels + spare_levels);
    frame->value_room = static_cast<std::uint32_t>(values);
    frame->own_room = static_cast<std::uint16_t>(std::min<std::size_t>(own, UINT8_MAX));
    return frame;
}

void BodyFrame::push(Interpreter& in, velune::environment* scope, lispfunc* function) { make(in, scope, function); }

void BodyFrame::push_deferred(Interpreter& in, lispfunc* function, value* const* arguments, std::size_t count) {
    BodyFrame* frame = make(in, nullptr, function);
    if (count <= frame->own_room) {
        frame->defer_own(arguments, count);
    } else {
        frame->current = frame->free_scope = scope_of_call(in.rt, function, arguments, count);
    }
}

void BodyFrame::push_called(Interpreter& in, velune::environment* scope, lispfunc* function, value* called_as) {
    push(in, scope, function);
    static_cast<BodyFrame*>(in.frames.back())->called_as = called_as;
}

lispfunc* BodyFrame::callee_of(const level& l) const {
    return as<lispfunc>(as<velune::function>(values()[l.base])->implementation);
}

// A symbol node's value, nullptr when unbound. A name of a deferred scope's parameters is
// looked for first where the node found one last.
[[gnu::always_inline]] inline value* BodyFrame::symbol_value(Runtime& rt, const node* n) {
    const Name* name = n->name;
    if (name == nullptr) [[unlikely]] return scope(rt)->lookup(n->form);
    if (current == nullptr) {  // lookup_name's search, the guess first
        const std::size_t i = n->parameter;
        if (i < deferred_count && deferred_names[i] == name) return deferred_values[i];
        if (!name->bound_inside) return free_scope->lookup_name(name);
        for (std::size_t j = 0; j < deferred_count; ++j) {
            if (deferred_names[j] == name) {
                n->parameter = static_cast<std::uint8_t>(j);
                return deferred_values[j];
            }
        }
        return deferred_lookup(rt, name);
    }
    return lookup_name(rt, name);
}

// A name's value where nodes run, nullptr when unbound. A deferred scope would bind the
// parameters and nothing else: a name no scope with a parent has bound is not one of
// them, and is looked up from the closure as the call's scope would look it up.
[[gnu::always_inline]] inline value* BodyFrame::lookup_name(Runtime& rt, const Name* name) {
    if (!name->bound_inside) return free_scope->lookup_name(name);
    if (current != nullptr) return current->lookup_name(name);
    for (std::size_t i = 0; i < deferred_count; ++i) {
        if (deferred_names[i] == name) return deferred_values[i];
    }
    return deferred_lookup(rt, name);
}

// A name a deferred scope does not bind as a parameter.
[[gnu::noinline]] value* BodyFrame::deferred_lookup(Runtime& rt, const Name* name) {
    // current-scope and parent-scope name the scope itself, or its parent.
    if (name->scope_role != 0) return scope(rt)->lookup_name(name);
    return deferred_callee->closure->lookup_name(name);
}

// The scope nodes run in, made now if it is deferred.
[[gnu::always_inline]] inline velune::environment* BodyFrame::scope(Runtime& rt) {
    if (current == nullptr) [[unlikely]] make_deferred_scope(rt);
    return current;
}

// The deferred level's scope, as the call would have made it: its level becomes an
// ordinary callee level, whose values are then in the scope.
[[gnu::noinline]] void BodyFrame::make_deferred_scope(Runtime& rt) {
    current = free_scope = scope_of_call(rt, deferred_callee, deferred_values, deferred_count);
    if (deferred_level == frame_scope) {
        own_deferred = false;
    } else {
        levels()[deferred_level].at = state::callee;
    }
}

// Nodes run in the deferred scope of level `index`, or in the frame's own (frame_scope).
// `slots` is values(), when the caller has it at hand.
void BodyFrame::defer_to(std::size_t index, value** slots) {
    if (index == frame_scope) {
        deferred_callee = function;
        deferred_count = own_count;
        deferred_values = slots;
    } else {
        const level& l = levels()[index];
        deferred_callee = as<lispfunc>(as<velune::function>(slots[l.base])->implementation);  // callee_of
        deferred_count = static_cast<std::uint8_t>(l.slots - 1);
        deferred_values = &slots[l.base + 1];
    }
    deferred_level = static_cast<std::uint16_t>(index);
    deferred_names = deferred_callee->parameter_names();
    current = nullptr;
    free_scope = deferred_callee->closure;
}

// The frame's scope is deferred, with these values (as many as its function's parameters,
// which are plain, and at most own_room).
void BodyFrame::defer_own(value* const* arguments, std::size_t count) {
    std::copy(arguments, arguments + count, values());
    own_count = static_cast<std::uint8_t>(count);
    own_deferred = true;
    defer_to(frame_scope);
}

std::string BodyFrame::display(const Runtime& rt) const {
    std::string text;
    if (called_as != nullptr) {
        text += "CallFrame: ";
        text += describe(rt, called_as);
        text += '\n';
    }
    text += "ExecFrame: ";
    text += describe(rt, function->body);
    if (outer != nullptr) {
        text += '\n';
        text += tail_lines(rt, outer);
        text.pop_back();  // the newline after the last
    }
    const auto line = [&text](const char* title, const std::string& what) {
        text += '\n';
        text += title;
        text += what;
    };
    for (std::size_t i = 0; i < depth; ++i) {
        const level& l = levels()[i];
        if (l.at == state::handed) continue;  // its EvalFrame shows every line
        const std::string form = describe(rt, l.call->form);
        line("EvalFrame: ", form);
        switch (l.at) {
        case state::arguments:
            line("EvalArgsFrame: ", describe(rt, rest_of(l.call->form)));
            break;
        case state::condition:
        case state::branch:
            line("CallFrame: ", form);
            line("ResumableNativeCallFrame: ", as<resumable_native>(as<velune::function>(l.function)->implementation)->name);
            break;
        case state::native:
            line("CallFrame: ", form);
            line("NativeCallFrame: ", as<nativefunc>(as<velune::function>(l.function)->implementation)->name);
            break;
        case state::inner:
            line("CallFrame: ", form);
            line("ExecFrame: ", describe(rt, rest_of(rest_of(as<cell>(l.call->form)->car))));
            break;
        case state::callee:
        case state::deferred:
            line("CallFrame: ", form);
            line("ExecFrame: ", describe(rt, callee_of(l)->body));
            break;
        case state::body:
            line("CallFrame: ", form);
            break;
        case state::call:
        case state::handed:
            break;
        }
    }
    return text;
}

void BodyFrame::trace(Tracer& t) const {
    t.visit(current);
    if (own_deferred) {
        for (std::size_t i = 0; i < own_count; ++i) t.visit(values()[i]);
    }
    trace_tails(t, outer);
    t.visit(function);
    t.visit(called_as);
    t.visit(result);
    for (std::size_t i = 0; i < depth; ++i) {
        const level& l = levels()[i];
        t.visit(l.function);
        if (l.at == state::inner) continue;  // its values are in its scope, its function the scope around
        if (l.at == state::callee) {
            t.visit(values()[l.base]);  // the function; its values are in its scope
            continue;
        }
        if (l.at == state::deferred) {
            for (std::size_t j = 0; j < l.slots; ++j) t.visit(values()[l.base + j]);  // the function and its values
            continue;
        }
        for (std::size_t j = 0; j < l.next; ++j) t.visit(values()[l.base + j]);
    }
}

// A leaf's argument in a body run straight: a constant, or a named symbol's value (nullptr
// when unbound).
[[gnu::always_inline]] inline value* BodyFrame::leaf_value(Runtime& rt, const node& a) {
    return a.what == node::kind::constant ? a.form : symbol_value(rt, &a);
}

// At the first node of a body begun with no levels pending or as the callee on top: runs
// it straight if it can be (see run_straight), true when the frame's body is done.
[[gnu::always_inline]] inline bool BodyFrame::straight_from(Interpreter& in, const node*& n, value*& v) {
    if (!n->owner->straight) return false;
    v = nullptr;
    return run_straight(in, n, v);
}

bool BodyFrame::next_step(Interpreter& in) {
    if (started) {  // a child's value
        if (depth > 0) {
            // The value of a call made by a frame of its own, in a body run straight: the
            // run goes on straight from there.
            const level& top = levels()[depth - 1];
            if ((top.at == state::body || top.at == state::call || top.at == state::handed) && top.call->owner->straight &&
                straight_levels(top.call, &top - top.call->level)) {
                --depth;
                const node* n = top.call;
                value* v = result;
                return run_straight(in, n, v) || run(in, n, v);
            }
        }
        return run(in, nullptr, result);
    }
    started = true;
    const compiled_body& code = *function->compiled;
    if (code.forms == 0) return true;
    const node* n = &code.nodes[0];
    value* v = nullptr;
    return straight_from(in, n, v) || run(in, n, v);
}

void BodyFrame::open(const node* call, value* head, state at) {
    const level* below = depth == 0 ? nullptr : &levels()[depth - 1];
    const auto base = static_cast<std::uint16_t>(below == nullptr ? own_room : below->base + below->slots);
    level& l = levels()[depth++];
    l.call = call;
    l.function = head;
    l.at = at;
    l.next = 0;
    l.slots = at == state::arguments ? call->count : 0;
    l.forms = 0;
    l.base = base;  // `caller` is a callee level's, set when it becomes one
}

// The node's form goes whole to an EvalFrame, whose value arrives through resume.
[[gnu::noinline]] bool BodyFrame::hand_over(Interpreter& in, const node* n, value* head) {
    EvalFrame* frame = in.push<EvalFrame>(scope(in.rt), n->form);
    if (head != nullptr && is<velune::function>(head)) frame->head_is(head);
    return false;
}

namespace {

// The value of a generic's call when the method chosen for the values only reads an
// attribute (see chosen_method::value_read); nullptr, nothing changed, otherwise.
value* read_by_getter(Runtime& rt, lispfunc* generic, value* const* arguments, std::size_t count) {
    if (rt.choose_method == nullptr || generic->rest_parameter != nullptr || generic->parameters.size() != count) {
        return nullptr;  // a wrong count is the call's own error
    }
    chosen_method chosen;
    return rt.choose_method(rt, generic, arguments, count, chosen) ? chosen.value_read : nullptr;
}

}  // namespace

// A leaf call of a generic: true with its value when a getter answers; else the call goes
// to an EvalFrame, which chooses again and makes it.
[[gnu::noinline]] bool BodyFrame::read_or_hand_over(Interpreter& in, const node* n, velune::function* f,
                                                    value* const* arguments, value*& v) {
    if ((v = read_by_getter(in.rt, as<lispfunc>(f->implementation), arguments, n->count)) != nullptr) return true;
    return hand_over(in, n, f);
}

// The call of a generic on top, its arguments evaluated: true with its value (the level
// gone) when its native routine answers or the method chosen only reads an attribute
// (chosen_method::value_read); else an EvalFrame given the values chooses and makes the
// call, as it would have after evaluating them itself.
[[gnu::noinline]] bool BodyFrame::apply_generic(Interpreter& in, level& top, value*& v) {
    Runtime& rt = in.rt;
    value* const* arguments = &values()[top.base];
    const std::size_t count = top.call->count;
    auto* generic = as<lispfunc>(as<velune::function>(top.function)->implementation);
    if (generic->fast != nullptr && generic->takes(count) && (v = generic->fast(rt, *generic, arguments, count)) != nullptr) {
        --depth;
        return true;
    }
    if ((v = read_by_getter(rt, generic, arguments, count)) != nullptr) {
        --depth;
        return true;
    }
    value* list = hold_list(rt, top);
    top.at = state::handed;
    in.push<EvalFrame>(scope(rt), top.call->form)->arguments_are(top.function, list, rt.nil);
    return false;
}

// Makes the call of the level on top, its arguments all evaluated: true with its value in
// `v` (the level gone) or, for a body run here, with its first node in `next`; false after
// pushing the frame that runs it.
[[gnu::always_inline]] inline bool BodyFrame::apply(Interpreter& in, level& top, value*& v, const node*& next) {
    Runtime& rt = in.rt;
    value* const* arguments = &values()[top.base];
    const std::size_t count = top.call->count;
    value* implementation = as<velune::function>(top.function)->implementation;
    if (is<nativefunc>(implementation)) {
        auto* native = as<nativefunc>(implementation);
        if (native->fast != nullptr && (v = native->fast(rt, arguments, count)) != nullptr) {
            --depth;
            return true;
        }
        // set-symbol of a named symbol: what the native would do, when a binding is found.
        if (implementation == rt.set_symbol_form && count == 2 && is<named_symbol>(arguments[0]) &&
            scope(rt)->rebind_nearest(as<named_symbol>(arguments[0])->name, arguments[1])) {
            v = rt.true_value;
            --depth;
            return true;
        }
        value* list = hold_list(rt, top);
        top.at = state::native;
        v = native->entry(in, scope(rt), list);
        --depth;
        return true;
    }
    auto* f = as<lispfunc>(implementation);
    if (f->dispatches) [[unlikely]] return apply_generic(in, top, v);
    if (f->fast != nullptr) {
        if (f->takes(count) && (v = f->fast(rt, *f, arguments, count)) != nullptr) {
            --depth;
            return true;
        }
        // Declined, or the wrong count: the call as a CallFrame makes it.
        value* list = hold_list(rt, top);
        top.at = state::call;
        in.push<CallFrame>(top.function, list, top.call->form, scope(rt));
        return false;
    }
    if (!f->compiled) f->compiled = compiled_for(rt, f->body);
    if (takes_over(f, depth - 1u)) {
        value* form = top.call->form;
        value* callee_value = top.function;
        --depth;
        take_over(in, depth, form, callee_value, f, arguments, count);
        return false;
    }
    if (has_room(*f->compiled, depth, top.base + count + 1)) {
        next = begin_callee(rt, depth - 1u, as<velune::function>(top.function), f, arguments, count);
        return true;
    }
    top.at = state::body;
    call(in, f, arguments, count);
    return false;
}

// A leaf's argument values, each a constant or a bound symbol: false if one is unbound.
[[gnu::always_inline]] inline bool BodyFrame::leaf_arguments(Runtime& rt, const node* n, value** arguments) {
    const std::size_t count = n->count;
    const node* nodes = n->arguments;
    for (std::size_t i = 0; i < count; ++i) {
        const node& a = nodes[i];
        if (a.what == node::kind::constant) {
            arguments[i] = a.form;
        } else if (a.what != node::kind::symbol || (arguments[i] = symbol_value(rt, &a)) == nullptr) {
            return false;
        }
    }
    return true;
}

// The value of a leaf call of a native routine that answers at once: false for any other
// node, or when the routine declines, having changed nothing. The node then runs the
// ordinary way, which repeats the lookups and gets the same answers.
[[gnu::always_inline]] inline bool BodyFrame::quick_leaf(Runtime& rt, const node* n, value*& v) {
    if (n->what != node::kind::leaf) return false;
    value* head = lookup_name(rt, n->name);
    if (head == nullptr || !is<velune::function>(head)) return false;
    auto* f = as<velune::function>(head);
    if (f->exec_mode != exec_mode::function || !is<nativefunc>(f->implementation)) return false;
    auto* native = as<nativefunc>(f->implementation);
    if (native->fast == nullptr) return false;
    value* arguments[4];  // the first `count` are set
    return leaf_arguments(rt, n, arguments) && (v = native->fast(rt, arguments, n->count)) != nullptr;
}

// A leaf call: true with its value in `v` or, for a body run here, with its first node in
// `next`; false after pushing the frame that makes it. Inline in run, whose commonest step
// it is.
[[gnu::always_inline]] inline bool BodyFrame::run_leaf(Interpreter& in, const node* n, velune::function* f, value*& v, const node*& next) {
    Runtime& rt = in.rt;
    value* implementation = f->implementation;
    if (f->exec_mode != exec_mode::function) {
        if (implementation == rt.quote_form && takes_form(f->exec_mode) && n->count == 1) {
            v = n->arguments[0].form;
            return true;
        }
        return hand_over(in, n, f);  // the if, fn, define, ...
    }
    value* arguments[4];  // the first `count` are set
    const std::size_t count = n->count;
    if (!leaf_arguments(rt, n, arguments)) return hand_over(in, n, f);
    if (is<nativefunc>(implementation)) {
        auto* native = as<nativefunc>(implementation);
        if (native->fast != nullptr && (v = native->fast(rt, arguments, count)) != nullptr) return true;
        v = call_native_now(in, scope(rt), n->form, f, make_list(rt, arguments, count));
        return true;
    }
    if (!is<lispfunc>(implementation)) return hand_over(in, n, f);
    auto* l = as<lispfunc>(implementation);
    if (l->fast != nullptr) {
        if (l->takes(count) && (v = l->fast(rt, *l, arguments, count)) != nullptr) return true;
        return hand_over(in, n, f);
    }
    if (l->dispatches) [[unlikely]] return read_or_hand_over(in, n, f, arguments, v);
    if (!runs_here(l, count)) return hand_over(in, n, f);
    if (!l->compiled) l->compiled = compiled_for(rt, l->body);
    if (takes_over(l, depth)) {
        take_over(in, depth, n->form, f, l, arguments, count);
        return false;
    }
    if (const level* below = depth == 0 ? nullptr : &levels()[depth - 1];
        has_room(*l->compiled, depth + 1u, (below == nullptr ? own_room : below->base + below->slots) + count + 1u)) {
        open(n, f, state::body);  // a CallFrame's lines until its scope is made
        next = begin_callee(rt, depth - 1u, f, l, arguments, count);
        return true;
    }
    if (depth == level_room()) return hand_over(in, n, f);  // no level to spare
    open(n, f, state::body);
    call(in, l, arguments, count);
    return false;
}

// Evaluates node `n`, or with `n` null delivers `v` to the level on top, until the body is
// done (true) or a child frame has been pushed (false).
bool BodyFrame::run(Interpreter& in, const node* n, value* v) {
    Runtime& rt = in.rt;
    const compiled_body& code = *function->compiled;
    value** slots = values();
    const node* next = nullptr;
    for (;;) {
        if (n != nullptr) {
            switch (n->what) {
            case node::kind::constant:
                v = n->form;
                break;
            case node::kind::symbol:
                v = symbol_value(rt, n);
                if (v == nullptr) return hand_over(in, n, nullptr);  // its EvalFrame reports it
                break;
            case node::kind::other:
                return hand_over(in, n, nullptr);
            case node::kind::in_place: {
                value* head = lookup_name(rt, n->name);
                if (head == nullptr || !is<velune::function>(head) || as<velune::function>(head)->implementation != rt.fn_form ||
                    as<velune::function>(head)->exec_mode != exec_mode::no_eval) {
                    return hand_over(in, n, nullptr);
                }
                open(n, head, state::arguments);
                n = n->count > 0 ? &n->arguments[0] : enter(rt, levels()[depth - 1]);
                continue;
            }
            case node::kind::leaf: {
                value* head = lookup_name(rt, n->name);
                if (head == nullptr || !is<velune::function>(head)) return hand_over(in, n, nullptr);
                if (!run_leaf(in, n, as<velune::function>(head), v, next)) return false;
                if (next != nullptr) {
                    n = std::exchange(next, nullptr);
                    if (straight_from(in, n, v)) return true;
                    continue;
                }
                break;
            }
            case node::kind::call: {
                value* head = lookup_name(rt, n->name);
                if (head == nullptr || !is<velune::function>(head)) return hand_over(in, n, nullptr);
                auto* f = as<velune::function>(head);
                value* implementation = f->implementation;
                if (f->exec_mode == exec_mode::function) {
                    const bool here = is<nativefunc>(implementation) ||
                                      (is<lispfunc>(implementation) && runs_here(as<lispfunc>(implementation), n->count));
                    if (!here || n->holds_none) return hand_over(in, n, head);
                    open(n, head, state::arguments);
                    if (n->count > 0) {
                        n = &n->arguments[0];
                        continue;
                    }
                    if (!apply(in, levels()[depth - 1], v, next)) return false;
                    if (next != nullptr) {
                        n = std::exchange(next, nullptr);
                        if (straight_from(in, n, v)) return true;
                        continue;
                    }
                    break;
                }
                if (implementation == rt.if_form && takes_form(f->exec_mode) && n->count >= 2) {
                    open(n, head, state::condition);
                    if (quick_leaf(rt, &n->arguments[0], v)) break;  // on to the branch
                    n = &n->arguments[0];
                    continue;
                }
                if (implementation == rt.quote_form && takes_form(f->exec_mode) && n->count == 1) {
                    v = n->arguments[0].form;
                    break;
                }
                return hand_over(in, n, head);
            }
            }
            n = nullptr;
        }
        // `v` is the value of the node just evaluated.
        if (depth == 0) {
            result = v;
            if (++position == code.forms) return true;
            n = &code.nodes[position];
            continue;
        }
        level& top = levels()[depth - 1];
        switch (top.at) {
        case state::arguments:
            slots[top.base + top.next++] = v;
            if (top.next < top.call->count) {
                n = &top.call->arguments[top.next];
                continue;
            }
            if (top.call->what == node::kind::in_place) {
                n = enter(rt, top);
                continue;
            }
            if (!apply(in, top, v, next)) return false;
            if (next != nullptr) {
                n = std::exchange(next, nullptr);
                if (straight_from(in, n, v)) return true;
                continue;
            }
            break;
        case state::callee:
        case state::deferred: {
            if (++top.next < top.forms) {
                n = &callee_of(top)->compiled->nodes[top.next];
                continue;
            }
            return_from_callee();  // v, the last form's, is the value
            break;
        }
        case state::inner:
            if (++top.next < top.call->forms) {
                n = &top.call->body[top.next];
                continue;
            }
            leave();  // v, the last form's, is the value
            break;
        case state::condition: {
            const node* call = top.call;
            top.at = state::branch;
            const node* branch = nullptr;
            if (v == rt.true_value) {
                branch = &call->arguments[1];
            } else if (v == rt.false_value) {
                if (call->count < 3) {
                    v = rt.nil;  // no else branch: the expression nil
                    --depth;
                    break;
                }
                branch = &call->arguments[2];
            }
            if (branch != nullptr) {
                // A constant or a bound symbol is the if's value at once; anything else
                // (an unbound symbol too, whose error shows the if's lines) runs on its level.
                if (branch->what == node::kind::constant) {
                    v = branch->form;
                } else if (branch->what != node::kind::symbol || (v = symbol_value(rt, branch)) == nullptr) {
                    n = branch;
                    continue;
                }
                --depth;
                break;
            }
            top.at = state::condition;
            if_branch(rt, call->arguments[0].form, v, rt.nil, rt.nil);  // raises the error
            internal_failure("BodyFrame: if_branch took a condition that is neither true nor false");
        }
        case state::branch:
        case state::body:
        case state::call:
        case state::handed:
            --depth;
            break;
        case state::native:
            internal_failure("BodyFrame: a native's level received a value");
        }
    }
}

// Whether a call of `callee` with `count` arguments goes on straight: its parameters are
// plain and its body is run straight. A call of the frame's own body that may take the
// frame over (the frame's own body's last step, see node::last) is for the ordinary steps.
[[gnu::always_inline]] inline bool BodyFrame::straight_call(Runtime& rt, lispfunc* callee, std::size_t count,
                                                           bool may_take_over) const {
    // A straight body has 1 to 255 forms.
    if (callee->direct_count() != count) return false;
    if (!callee->compiled) callee->compiled = compiled_for(rt, callee->body);
    const compiled_body* code = callee->compiled.get();
    return code->straight && (!may_take_over || code != function->compiled.get());
}

// Whether the body of a call straight_call let through, made at level `l` with its values
// up to `end`, fits in the frame, whose levels and values end at `room_end` (see room_ends).
[[gnu::always_inline]] inline bool BodyFrame::fits(const lispfunc* callee, const level* l, value* const* end,
                                                   const ends& room_end) {
    const compiled_body* code = callee->compiled.get();
    const auto* level_at = reinterpret_cast<const char*>(l);
    const auto* value_at = reinterpret_cast<const char*>(end);
    return room_end.levels - level_at > static_cast<std::ptrdiff_t>(code->levels * sizeof(level)) &&
           room_end.values - value_at >= static_cast<std::ptrdiff_t>(code->values * sizeof(value*));
}

// Where the room for levels and values ends, as bytes: fits compares without dividing.
BodyFrame::ends BodyFrame::room_ends() {
    return {reinterpret_cast<const char*>(levels() + room), reinterpret_cast<const char*>(values() + value_room)};
}

// A node of `code` that a straight run handed to the ordinary steps because they had to run
// it (not for want of room).
[[gnu::noinline]] void BodyFrame::missed(const compiled_body* code) {
    if (++code->misses >= compiled_body::misses_allowed) code->straight = false;
}

// The callee level `top` (at `index`, its values from `slots` on) keeps its function and
// argument values, and nodes run in its deferred scope.
[[gnu::always_inline]] inline void BodyFrame::defer_callee(level& top, std::size_t index, value** slots, velune::function* head,
                                                          lispfunc* callee, value* const* arguments, std::size_t count) {
    after_head(slots, arguments, count);
    slots[0] = head;
    top.slots = static_cast<std::uint8_t>(count + 1);
    top.at = state::deferred;
    deferred_level = static_cast<std::uint16_t>(index);
    deferred_callee = callee;
    deferred_names = callee->parameter_names();
    deferred_count = static_cast<std::uint8_t>(count);
    deferred_values = slots + 1;
    current = nullptr;
    free_scope = callee->closure;
}

// begin_callee for a call straight_call let through, made by node `call` at level `l` with
// its values from `base` on: its scope is deferred. Returns the callee's first node.
[[gnu::always_inline]] inline const node* BodyFrame::enter_straight(Runtime& rt, level* l, const node* call, value** base,
                                                                   velune::function* head, lispfunc* callee,
                                                                   value* const* arguments, std::size_t count,
                                                                   value* const* slots) {
    if (rt.step_limit != 0) [[unlikely]] count_step(rt);  // as begin_callee counts, before anything changes
    l->call = call;
    l->base = static_cast<std::uint16_t>(base - slots);
    l->function = current;
    l->caller = deferred_level;
    l->next = 0;
    l->forms = static_cast<std::uint8_t>(callee->compiled->forms);
    defer_callee(*l, static_cast<std::size_t>(l - levels()), base, head, callee, arguments, count);
    return &callee->compiled->nodes[0];
}

// What a native's fast routine, or a library function's, answers at once for these values;
// nullptr when it declines or there is none, with `callee` set for a Velune function of no
// routine (nullptr for anything else).
[[gnu::always_inline]] inline value* BodyFrame::answer_now(Runtime& rt, value* implementation, value* const* arguments,
                                                           std::size_t count, lispfunc*& callee) {
    callee = nullptr;
    if (is<nativefunc>(implementation)) {
        auto* native = as<nativefunc>(implementation);
        return native->fast != nullptr ? native->fast(rt, arguments, count) : nullptr;
    }
    if (!is<lispfunc>(implementation)) return nullptr;
    auto* f = as<lispfunc>(implementation);
    if (f->fast == nullptr) {
        callee = f;
        return nullptr;
    }
    return f->takes(count) ? f->fast(rt, *f, arguments, count) : nullptr;
}

// What the head of call or leaf `n` is, looked up now (see node::head).
[[gnu::noinline]] head_kind BodyFrame::look_up_head(Runtime& rt, const node* n) {
    assert(n->what == node::kind::call || n->what == node::kind::leaf);  // an in-place call keeps its body there
    const Name* name = n->name;
    value* head = lookup_name(rt, name);
    head_kind kind = head_kind::other;
    n->head_fast = nullptr;
    if (head != nullptr && is<velune::function>(head)) {
        const auto* f = as<velune::function>(head);
        value* implementation = f->implementation;
        if (f->exec_mode == exec_mode::function) {
            if (is<nativefunc>(implementation)) {
                kind = head_kind::native;
                n->head_fast = as<nativefunc>(implementation)->fast;
            } else if (is<lispfunc>(implementation)) {
                kind = head_kind::lisp;
            }
        } else if (takes_form(f->exec_mode)) {
            if (implementation == rt.if_form) kind = head_kind::if_form;
            if (implementation == rt.quote_form) kind = head_kind::quote_form;
        }
    }
    n->head = head;
    n->head_is = kind;
    // Found in the global scope, it stands until the name's version changes.
    if (!name->bound_inside && rt.names.every_scope_rooted()) n->head_version = name->version;
    return kind;
}

// What the head of call or leaf `n` is: what the node kept, while it stands, or looked up now.
[[gnu::always_inline]] inline head_kind BodyFrame::head_of(Runtime& rt, const node* n) {
    return n->head_version == n->name->version ? n->head_is : look_up_head(rt, n);
}

// The values of leaf `n`'s arguments, each a constant or a named symbol's: false if one is
// unbound.
[[gnu::always_inline]] inline bool BodyFrame::leaf_values(Runtime& rt, const node* n, value** arguments) {
    if (n->count == 2) [[likely]] {  // the commonest: an operator and its two operands
        return (arguments[0] = leaf_value(rt, n->arguments[0])) != nullptr &&
               (arguments[1] = leaf_value(rt, n->arguments[1])) != nullptr;
    }
    switch (n->count) {
    case 4:
        if ((arguments[3] = leaf_value(rt, n->arguments[3])) == nullptr) return false;
        [[fallthrough]];
    case 3:
        if ((arguments[2] = leaf_value(rt, n->arguments[2])) == nullptr) return false;
        [[fallthrough]];
    case 2:
        if ((arguments[1] = leaf_value(rt, n->arguments[1])) == nullptr) return false;
        [[fallthrough]];
    case 1:
        return (arguments[0] = leaf_value(rt, n->arguments[0])) != nullptr;
    default:
        return true;
    }
}

// Runs a body straight from node `at`: its first node, begun as the frame's own or as the
// callee on top (`out` nullptr), or a node whose value `out` is, the levels open around it.
// The bodies it calls and returns to that run straight go on the same way, keeping of their
// levels only their heads and the callees' levels: where a node stands in its body tells the
// rest. Returns true when the frame's body is done; false when a node needs the ordinary
// steps, with the levels written out and `at` and `out` what run takes (a node to evaluate,
// or none and the value to deliver to the level on top).
bool BodyFrame::run_straight(Interpreter& in, const node*& at, value*& out) {
    Runtime& rt = in.rt;
    // The node being evaluated, or (at `deliver`) whose value `v` is.
    const node* n = at;
    value* v = out;
    // The running body: where its levels and its argument values start.
    level* own = levels() + depth - n->level;
    value** const slots = values();  // the frame's, which `values()` would work out each time
    value** first = own == levels() ? slots + own_room : slots + own[-1].base + own[-1].slots;
    level* bottom = own;  // the levels under it are the ordinary steps'
    const ends room_end = room_ends();
    try {
        if (v != nullptr) goto deliver;
    evaluate:
        switch (n->what) {
        case node::kind::constant:
            v = n->form;
            goto deliver;
        case node::kind::symbol:
            if ((v = symbol_value(rt, n)) == nullptr) goto evaluate_there;
            goto deliver;
        case node::kind::leaf: {
            const head_kind kind = head_of(rt, n);
            const std::size_t count = n->count;
            if (kind != head_kind::native && kind != head_kind::lisp) {
                if (kind != head_kind::quote_form || count != 1) goto evaluate_there;
                v = n->arguments[0].form;
                goto deliver;
            }
            value* arguments[4];  // the first `count` are set
            if (!leaf_values(rt, n, arguments)) goto evaluate_there;
            if (kind == head_kind::native) {
                if (n->head_fast == nullptr || (v = n->head_fast(rt, arguments, count)) == nullptr) goto evaluate_there;
                goto deliver;
            }
            auto* f = as<velune::function>(n->head);
            lispfunc* callee;
            if ((v = answer_now(rt, f->implementation, arguments, count, callee)) != nullptr) goto deliver;
            if (callee == nullptr || !straight_call(rt, callee, count, own == levels() && n->last)) goto evaluate_there;
            level* l = own + n->level;
            value** base = first + n->base;
            if (!fits(callee, l, base + count + 1, room_end)) goto evaluate_elsewhere;
            n = enter_straight(rt, l, n, base, f, callee, arguments, count, slots);
            own = l + 1;
            first = base + count + 1;
            goto evaluate;
        }
        case node::kind::call: {
            const head_kind kind = head_of(rt, n);
            if (n->holds_none) {  // named if, and meaning it (with a branch, or the body would not run straight)
                if (kind != head_kind::if_form) goto evaluate_there;
            } else if (kind != head_kind::native &&
                       (kind != head_kind::lisp || !runs_straight_here(as<lispfunc>(as<velune::function>(n->head)->implementation), n->count))) {
                goto evaluate_there;
            }
            own[n->level].function = n->head;
            const node* first_argument = &n->arguments[0];
            // An if whose condition is a leaf of a native: the branch is chosen at once.
            if (n->holds_none && first_argument->what == node::kind::leaf && head_of(rt, first_argument) == head_kind::native) {
                value* arguments[4];  // the first `count` are set
                if (!leaf_values(rt, first_argument, arguments) || first_argument->head_fast == nullptr ||
                    (v = first_argument->head_fast(rt, arguments, first_argument->count)) == nullptr) {
                    n = first_argument;
                    goto evaluate_there;
                }
                goto choose;
            }
            n = first_argument;
            goto evaluate;
        }
        default:
            goto evaluate_there;
        }

    choose: {  // `v` is the value of the condition of if `n`
        const node* branch;
        if (v == rt.true_value) {
            branch = &n->arguments[1];
        } else if (v == rt.false_value) {
            if (n->count < 3) {
                v = rt.nil;
                goto deliver;
            }
            branch = &n->arguments[2];
        } else {
            n = &n->arguments[0];
            goto deliver_there;  // for the error
        }
        // A constant or a bound name is the if's value at once.
        if (branch->what == node::kind::constant) {
            v = branch->form;
            goto deliver;
        }
        if (branch->what == node::kind::symbol && (v = symbol_value(rt, branch)) != nullptr) goto deliver;
        n = branch;
        goto evaluate;
    }

    deliver: {
        const node* call = n->parent;
        if (call == nullptr) {  // a body form
            if (own == levels()) {
                result = v;
                if (++position == n->owner->forms) {
                    depth = 0;
                    return true;
                }
                n = &n->owner->nodes[position];
                goto evaluate;
            }
            if (n->index + 1u < n->owner->forms) {
                ++n;
                goto evaluate;
            }
            // The callee returns `v` to the call it was made from.
            const level& callee = own[-1];
            const node* from = callee.call;
            value** base = slots + callee.base;
            if (callee.function != nullptr) {  // return_from_callee's
                current = free_scope = as<velune::environment>(callee.function);
            } else {
                defer_to(callee.caller, slots);
            }
            level* outer = own - 1 - from->level;
            if (own == bottom && (!from->owner->straight || !straight_levels(from, outer))) {
                depth = static_cast<std::uint16_t>(&callee - levels());
                at = nullptr;
                out = v;
                return false;
            }
            own = outer;
            first = base - from->base;
            if (own < bottom) bottom = own;  // the ordinary steps' levels, which a straight run reads as it would have left them
            n = from;
            goto deliver;
        }
        if (call->holds_none) {  // an if
            const bool condition = n->index == 0;
            n = call;
            if (condition) goto choose;
            goto deliver;  // its branch's value is its own
        }
        value** arguments = first + call->base;
        arguments[n->index] = v;
        if (n->index + 1u < call->count) {
            ++n;
            goto evaluate;
        }
        const std::size_t count = call->count;
        level* l = own + call->level;
        auto* head = as<velune::function>(l->function);
        value* implementation = head->implementation;
        lispfunc* callee;
        // A routine that declines leaves `v`, the last argument's value, for the ordinary steps.
        if (value* answer = answer_now(rt, implementation, arguments, count, callee)) {
            v = answer;
            n = call;
            goto deliver;
        }
        if (callee == nullptr || !straight_call(rt, callee, count, own == levels() && call->last)) goto deliver_there;
        if (!fits(callee, l, arguments + count + 1, room_end)) goto deliver_elsewhere;
        n = enter_straight(rt, l, call, arguments, head, callee, arguments, count, slots);
        own = l + 1;
        first = arguments + count + 1;
        goto evaluate;
    }
    } catch (...) {
        write_levels(n, own, first, bottom);  // for the report
        throw;
    }
evaluate_there:
    missed(n->owner);
evaluate_elsewhere:  // a call with no room left in this frame
    write_levels(n, own, first, bottom);
    at = n;
    return false;
deliver_there:
    missed(n->owner);
deliver_elsewhere:
    write_levels(n, own, first, bottom);
    at = nullptr;
    out = v;
    return false;
}

// Whether the levels the ordinary steps opened around node `n` of a body whose levels start
// at `own` are those a straight run would have left: each call named if an if, and each
// other call one of a function (not a built-in form under another name).
bool BodyFrame::straight_levels(const node* n, const level* own) const {
    for (const node* call = n->parent; call != nullptr; call = call->parent) {
        const state at = own[call->level].at;
        if (call->holds_none ? at != state::condition && at != state::branch : at != state::arguments) return false;
    }
    return true;
}

// Writes out the levels a straight run left to the nodes' places: those of the calls around
// node `at` of the body whose levels start at `lowest` and values at `first`, and so on for
// the bodies under it, down to `bottom`, below which the ordinary steps keep them. Each
// call's head was kept as it began; a callee's level is whole but for its body form.
void BodyFrame::write_levels(const node* at, const level* own, value* const* own_values, const level* bottom_level) {
    level* ls = levels();
    std::size_t lowest = static_cast<std::size_t>(own - ls);
    std::size_t first = static_cast<std::size_t>(own_values - values());
    const std::size_t bottom = static_cast<std::size_t>(bottom_level - ls);
    depth = static_cast<std::uint16_t>(lowest + at->level);
    for (;;) {
        const node* child = at;
        for (const node* call = at->parent; call != nullptr; child = call, call = call->parent) {
            level& l = ls[lowest + call->level];
            l.call = call;
            if (call->holds_none) {
                l.at = child->index == 0 ? state::condition : state::branch;
                l.next = 0;
                l.slots = 0;
            } else {
                l.at = state::arguments;
                l.next = child->index;
                l.slots = call->count;
            }
            l.forms = 0;
            l.base = static_cast<std::uint16_t>(first + call->base);
        }
        if (lowest == 0) return;  // `position` is the frame's own body's form
        level& callee = ls[lowest - 1];
        callee.next = child->index;
        if (lowest == bottom) return;
        at = callee.call;
        first = callee.base - at->base;
        lowest -= at->level + 1u;
    }
}

// A function applied in place, its arguments evaluated: its body starts in a fresh scope
// of the current one, which binds its parameters; returns the body's first node.
const node* BodyFrame::enter(Runtime& rt, level& top) {
    auto* inner_scope = rt.heap.make<velune::environment>(rt, scope(rt));
    value* const* arguments = &values()[top.base];
    std::size_t i = 0;
    for (value* p = as<cell>(as<cell>(as<cell>(top.call->form)->car)->cdr)->car; is<cell>(p); p = as<cell>(p)->cdr) {
        value* parameter = as<cell>(p)->car;
        if (is<named_symbol>(parameter)) {
            inner_scope->bind_fresh_parameter(as<named_symbol>(parameter)->name, arguments[i++]);
        } else {
            inner_scope->bind_number(as<num_symbol>(parameter)->number, arguments[i++]);  // a macro's local
        }
    }
    top.function = current;  // the scope to return to
    top.at = state::inner;
    top.next = 0;
    current = free_scope = inner_scope;
    return &top.call->body[0];
}

// Pops an inner level: nodes run again in the scope around it.
void BodyFrame::leave() {
    current = free_scope = as<velune::environment>(levels()[--depth].function);
}

// Pops a callee level: nodes run again in the scope of the call's caller, which may be
// deferred too.
[[gnu::always_inline]] inline void BodyFrame::return_from_callee() {
    const level& l = levels()[--depth];
    if (l.function != nullptr) {
        current = free_scope = as<velune::environment>(l.function);
    } else {
        defer_to(l.caller);
    }
}

// Whether a call of `callee` can run in this frame as a level of its own, with `levels`
// levels and `values` argument values pending, the call's own level and values included:
// its body's levels and values fit in what is left, and its forms can be counted in a level.
bool BodyFrame::has_room(const compiled_body& callee, std::size_t levels, std::size_t values) const {
    return callee.forms > 0 && callee.forms <= UINT8_MAX && levels + callee.levels <= room &&
           values + callee.values <= value_room;
}

// The call of level `top` runs here: the level keeps the function in its first slot and
// the scope to return to. The call's scope is deferred when it binds plain parameters
// alone (their values then follow the function) and the body may not need it (see
// compiled_body::defers_scope), made at once otherwise. Returns the body's first node.
[[gnu::always_inline]] inline const node* BodyFrame::begin_callee(Runtime& rt, std::size_t index, velune::function* head,
                                                                  lispfunc* callee, value* const* arguments, std::size_t count) {
    level& top = levels()[index];
    // A step limit (the fuzz targets') counts a level as the frame it stands for, so that a
    // recursion within frames is bounded as one of frames is.
    if (rt.step_limit != 0) [[unlikely]] count_step(rt);
    value** slots = &values()[top.base];
    top.function = current;  // nullptr when the caller's scope is deferred itself
    top.caller = deferred_level;
    top.next = 0;
    top.forms = static_cast<std::uint8_t>(callee->compiled->forms);  // has_room saw that it fits
    if (callee->rest_parameter == nullptr && count < UINT8_MAX && callee->compiled->defers_scope) {
        defer_callee(top, index, slots, head, callee, arguments, count);
    } else {
        velune::environment* call_scope = scope_of_call(rt, callee, arguments, count);  // before the slot is reused
        slots[0] = head;
        if (top.slots == 0) top.slots = 1;
        top.at = state::callee;
        current = free_scope = call_scope;
    }
    return &callee->compiled->nodes[0];
}

// Whether a call of `callee` made now, with `below` levels pending under it, is this body's
// last step and runs the same body: every pending level is an if's branch or the last form
// of a function applied in place, and the body is at its last form.
[[gnu::always_inline]] inline bool BodyFrame::takes_over(lispfunc* callee, std::size_t below) const {
    const compiled_body* code = function->compiled.get();
    if (position + 1 != code->forms || callee->compiled.get() != code) return false;
    for (std::size_t i = 0; i < below; ++i) {
        const level& l = levels()[i];
        if (l.at != state::branch && !(l.at == state::inner && l.next + 1 == l.call->forms)) return false;
    }
    return true;
}

// The frame becomes that of the call: the levels under it and the call itself are kept as
// tail_of lines, the old scope is let go, and the body starts again at the next step (so a
// loop of tail calls passes a safe point on every turn).
[[gnu::noinline]] void BodyFrame::take_over(Interpreter& in, std::size_t below, value* form, value* callee_value,
                                            lispfunc* callee, value* const* arguments, std::size_t count) {
    Runtime& rt = in.rt;
    // The values go where the frame keeps its own: no argument is there (each is a level's,
    // or a leaf's).
    const bool defer = callee->rest_parameter == nullptr && count <= own_room && callee->compiled->defers_scope;
    velune::environment* call_scope = defer ? nullptr : scope_of_call(rt, callee, arguments, count);
    outer = push_tail(rt.frame_stack, outer, below + 1, [&](std::size_t i) {
        if (i == below) return tail_record{form, callee_value};
        const level& l = levels()[i];
        value* lines = l.at == state::inner ? rest_of(rest_of(as<cell>(l.call->form)->car)) : l.function;
        return tail_record{l.call->form, lines};
    });
    function = callee;
    depth = 0;
    position = 0;
    started = false;
    if (defer) {
        defer_own(arguments, count);
    } else {
        current = free_scope = call_scope;
        own_deferred = false;
    }
}

// Binds a Velune function's parameters in a fresh scope and pushes the frame of its body.
[[gnu::noinline]] void BodyFrame::call(Interpreter& in, lispfunc* f, value* const* arguments, std::size_t count) {
    if (f->rest_parameter == nullptr && f->compiled->defers_scope) {
        push_deferred(in, f, arguments, count);
    } else {
        push(in, scope_of_call(in.rt, f, arguments, count), f);
    }
}

// The level's argument values as a list, kept in its first slot (each value is also in the
// list) while the call it is made for runs; nil needs no keeping.
[[gnu::noinline]] value* BodyFrame::hold_list(Runtime& rt, level& top) {
    value** slots = &values()[top.base];
    value* list = make_list(rt, slots, top.slots);
    if (top.slots > 0) slots[0] = list;
    return list;
}

}  // namespace velune
