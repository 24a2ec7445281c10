// The frames: evaluation, calls, expansion, bodies, natives and loaded texts.
#include <string>

#include "interpreter/compiled.h"
#include "interpreter/interpreter.h"
#include "parse/parse.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {

value* first(value* list) { return as<cell>(list)->car; }
value* rest_of(value* list) { return as<cell>(list)->cdr; }
value* nth(value* list, std::size_t i) {
    while (i-- > 0) list = rest_of(list);
    return first(list);
}
// What the global if runs without frames of its own: a proper list of at least two.
bool is_if_form(const Runtime& rt, value* arguments) {
    std::size_t count = 0;
    for (; is<cell>(arguments); arguments = rest_of(arguments)) ++count;
    return arguments == rt.nil && count >= 2;
}
// A missing else branch is the expression nil; anything after it is ignored.
value* else_of(const Runtime& rt, value* arguments) {
    value* tail = rest_of(rest_of(arguments));
    return is<cell>(tail) ? first(tail) : rt.nil;
}

[[noreturn]] void unknown_state(Runtime& rt, const char* where, int state) {
    rt.out.line(std::string("Internal error: unknown state in ") + where + ": " + format_integer(state));
    internal_failure(std::string("unknown state in ") + where);
}

LispError undefined_symbol(const value* symbol) {
    const std::string name = is<named_symbol>(symbol) ? as<named_symbol>(symbol)->name->text
                                                      : format_integer(as<num_symbol>(symbol)->number);
    return LispError{"Symbol " + name + " is undefined"};
}

LispError not_callable(const Runtime& rt, value* head, value* form) {
    const std::string at = "\n       at " + describe(rt, form);
    if (is<instance>(head)) return LispError{"Error: trying to call non-callable object" + at};
    return LispError{"Error: trying to call non-callable value " + describe(rt, head) + " (" +
                     std::string(as<Type>(head->type)->name) + ")" + at};
}

LispError improper_form(const Runtime& rt, const char* what, value* form) {
    return LispError{std::string(what) + ": not a proper list: " + describe(rt, form)};
}

// "f" when the function carries a name in its metadata, else "fn" and its parameter list.
std::string function_label(const Runtime& rt, value* function, const lispfunc* f) {
    if (value* metadata = function->metadata(); metadata != nullptr && is<hashtable>(metadata)) {
        if (value** name = as<hashtable>(metadata)->table.find("name")) {
            if (is<string>(*name)) return as<string>(*name)->text;
        }
    }
    std::string params = "fn (";
    for (std::size_t i = 0; i < f->parameters.size(); ++i) {
        if (i > 0) params += ' ';
        params += describe(rt, f->parameters[i]);
    }
    if (f->rest_parameter != nullptr) params += (f->parameters.empty() ? ". " : " . ") + describe(rt, f->rest_parameter);
    return params + ")";
}

std::string count_text(std::size_t n) {
    return format_integer(static_cast<std::int64_t>(n)) + (n == 1 ? " argument" : " arguments");
}

}  // namespace

// ---- evaluation without a frame ----

namespace {

bool is_any_symbol(const value* v) { return is<named_symbol>(v) || is<num_symbol>(v); }

// An atom's or a bound symbol's value; nullptr for anything else.
value* atom_value(velune::environment* env, value* expression) {
    if (is_any_symbol(expression)) return env->lookup(expression);
    return is<cell>(expression) ? nullptr : expression;
}

// The function a call form's head names when it is a symbol bound to one; else nullptr.
velune::function* named_function(velune::environment* env, value* head) {
    if (!is_any_symbol(head)) return nullptr;
    value* f = env->lookup(head);
    return f != nullptr && is<velune::function>(f) ? as<velune::function>(f) : nullptr;
}

}  // namespace

namespace {
value* call_native_if_known(Interpreter& in, velune::environment* env, value* expression, velune::function* f);
value* call_fast_if_known(Runtime& rt, velune::environment* env, value* expression, velune::function* f);
bool sets_quoted_name(const Runtime& rt, velune::environment* env, value* arguments);
}  // namespace

value* evaluate_now(Interpreter& in, velune::environment* env, value* expression, value** head) {
    if (!is<cell>(expression)) return atom_value(env, expression);
    velune::function* f = named_function(env, first(expression));
    if (head != nullptr) *head = f;
    if (f == nullptr) return nullptr;
    if (!is<nativefunc>(f->implementation)) return call_fast_if_known(in.rt, env, expression, f);
    return call_native_if_known(in, env, expression, f);
}

namespace {

// The values of a call form's arguments when every one is an atom or a bound symbol, at
// most `most` of them, in a proper list: their count, or -1.
[[gnu::always_inline]] inline int atom_arguments(const Runtime& rt, velune::environment* env, value* expression, value** values, int most) {
    int count = 0;
    value* rest = rest_of(expression);
    for (; is<cell>(rest); rest = rest_of(rest)) {
        if (count == most) return -1;
        value* v = atom_value(env, first(rest));
        if (v == nullptr) return -1;
        values[count++] = v;
    }
    return rest == rt.nil ? count : -1;
}

// A library function's fast path on atom arguments of a count it takes: the exact value of
// the call, or nullptr (the caller's frame then makes the call, and reports what fails).
[[gnu::noinline]] value* call_fast_if_known(Runtime& rt, velune::environment* env, value* expression,
                                            velune::function* f) {
    if (!is<lispfunc>(f->implementation) || f->exec_mode != exec_mode::function) return nullptr;
    auto* l = as<lispfunc>(f->implementation);
    if (l->fast == nullptr) return nullptr;
    constexpr int most = 4;
    value* values[most];
    const int count = atom_arguments(rt, env, expression, values, most);
    if (count < 0) return nullptr;
    if (!l->takes(static_cast<std::size_t>(count))) return nullptr;
    return l->fast(rt, *l, values, static_cast<std::size_t>(count));
}

// The rest of evaluate_now for a native's call form, apart so that the common early returns
// above need no registers saved.
[[gnu::noinline]] value* call_native_if_known(Interpreter& in, velune::environment* env, value* expression,
                                              velune::function* f) {
    Runtime& rt = in.rt;
    if (f->exec_mode != exec_mode::function) {
        // A native taking the form's own cells (fn, quote, unset) runs here as its frame would
        // run it; (quote x) through the global quote is x itself.
        if (!rt.fast_paths || f->exec_mode == exec_mode::macro) return nullptr;
        value* arguments = rest_of(expression);
        if (f->implementation == rt.quote_form && is<cell>(arguments) && rest_of(arguments) == rt.nil) {
            return first(arguments);
        }
        return call_native_now(in, env, expression, f, arguments);
    }
    // Every argument must be known without a frame, or nothing happens here.
    constexpr int most = 4;
    value* values[most];
    int count = atom_arguments(rt, env, expression, values, most);
    if (count < 0) return nullptr;
    auto* native = as<nativefunc>(f->implementation);
    if (native->fast != nullptr) {
        if (value* v = native->fast(rt, values, static_cast<std::size_t>(count))) return v;
    }
    return call_native_now(in, env, expression, f, make_list(rt, values, static_cast<std::size_t>(count)));
}

}  // namespace

// Kept out of evaluate_now, whose common paths then need no unwinding set-up.
[[gnu::noinline]] value* call_native_now(Interpreter& in, velune::environment* env, value* expression,
                                         velune::function* f, value* arguments) {
    auto* native = as<nativefunc>(f->implementation);
    in.pending_arguments = arguments;
    try {
        value* v = native->entry(in, env, arguments);
        in.pending_arguments = nullptr;
        return v;
    } catch (...) {
        in.pending_arguments = nullptr;
        // The frames the general path would have had: one EvalFrame standing for them.
        in.push<EvalFrame>(env, expression)->failed_native(f, arguments);
        throw;
    }
}

value* evaluate_or_push(Interpreter& in, velune::environment* env, value* expression) {
    value* head = nullptr;
    if (value* v = evaluate_now(in, env, expression, &head)) return v;
    EvalFrame* frame = in.push<EvalFrame>(env, expression);
    if (head != nullptr) frame->head_is(head);
    return nullptr;
}

value* if_branch(const Runtime& rt, value* condition, value* v, value* then_branch, value* else_branch) {
    if (v == rt.true_value) return then_branch;
    if (v == rt.false_value) return else_branch;
    throw LispError{"Unsupported non-boolean value in if: " + describe(rt, condition) + " is " + describe(rt, v)};
}

namespace {

// Checks that a Velune function takes `count` arguments.
void check_count(const Runtime& rt, value* function, const lispfunc* f, std::size_t count) {
    const std::size_t wanted = f->parameters.size();
    if (!f->takes(count)) {
        const std::string expected = f->rest_parameter == nullptr ? count_text(wanted) : "at least " + count_text(wanted);
        throw LispError{"(" + function_label(rt, function, f) + "): expects " + expected + ", got " +
                        format_integer(static_cast<std::int64_t>(count))};
    }
}

// Checks a Velune function's argument list: proper, and of a count it takes.
void check_arguments(Runtime& rt, value* function, lispfunc* f, value* arguments) {
    std::size_t count = 0;
    value* tail = arguments;
    for (; is<cell>(tail); tail = rest_of(tail)) ++count;
    if (tail != rt.nil) throw improper_form(rt, "argument list", arguments);
    check_count(rt, function, f, count);
}

// Calls with more arguments than this run their Velune body even where a fast path exists.
constexpr std::size_t fast_arguments = 8;

// The fast path of a library function on a checked argument list, or nullptr.
value* try_fast(Runtime& rt, lispfunc* f, value* arguments) {
    if (f->fast == nullptr) return nullptr;
    value* values[fast_arguments];
    std::size_t n = 0;
    for (value* v = arguments; is<cell>(v); v = rest_of(v)) {
        if (n == fast_arguments) return nullptr;
        values[n++] = first(v);
    }
    return f->fast(rt, *f, values, n);
}

// Binds a Velune function's parameters, its arguments already checked, in a fresh scope.
velune::environment* bind_arguments(Runtime& rt, lispfunc* f, value* arguments) {
    auto* scope = rt.heap.make<velune::environment>(rt, f->closure);
    value* given = arguments;
    const bool plain = f->plain_parameters();
    for (value* parameter : f->parameters) {
        if (plain) {
            scope->bind_parameter(as<named_symbol>(parameter)->name, first(given));
        } else {
            scope->bind(parameter, first(given));
        }
        given = rest_of(given);
    }
    // The rest parameter takes the remaining cells themselves, not a copy.
    if (f->rest_parameter != nullptr) scope->bind(f->rest_parameter, given);
    return scope;
}

// The method of a generic's call chosen natively from its argument list: false, nothing
// changed, when the chooser declines or is not there.
bool choose_for(Runtime& rt, const lispfunc* f, value* arguments, chosen_method& chosen) {
    if (!f->dispatches || rt.choose_method == nullptr) return false;
    value* values[chosen_method::most_arguments];
    std::size_t count = 0;
    for (value* v = arguments; is<cell>(v); v = rest_of(v)) {
        if (count == chosen_method::most_arguments) return false;
        values[count++] = first(v);
    }
    return rt.choose_method(rt, f, values, count, chosen);
}

// A native or a library function with a fast path: two argument values can wait in the
// frame, and become a list only if the fast path declines.
bool has_fast_path(const value* implementation) {
    if (is<nativefunc>(implementation)) return as<nativefunc>(implementation)->fast != nullptr;
    return is<lispfunc>(implementation) && as<lispfunc>(implementation)->fast != nullptr;
}

// The arguments of a call form are its tail: `(f a b)` has exactly `wanted` of them.
bool has_exactly(const Runtime& rt, value* list, std::size_t wanted) {
    std::size_t count = 0;
    for (; is<cell>(list); list = rest_of(list)) {
        if (++count > wanted) return false;
    }
    return list == rt.nil && count == wanted;
}

}  // namespace

// ---- EvalFrame ----

// `function` may also be the body list of a function made where the call was (a stand-in
// frame of a generic's dispatch, a function applied in place).
std::string call_lines(const Runtime& rt, const std::string& form, value* function) {
    std::string text = "EvalFrame: " + form + "\nCallFrame: " + form;
    if (is<cell>(function)) return text + "\nExecFrame: " + describe(rt, function);
    value* implementation = as<velune::function>(function)->implementation;
    switch (implementation->kind) {
    case value_kind::nativefunc:
        return text + "\nNativeCallFrame: " + as<nativefunc>(implementation)->name;
    case value_kind::lispfunc:
        return text + "\nExecFrame: " + describe(rt, as<lispfunc>(implementation)->body);
    default:
        return text + "\nResumableNativeCallFrame: " + as<resumable_native>(implementation)->name;
    }
}

std::string tail_lines(const Runtime& rt, const tail_of* newest) {
    std::vector<const tail_of*> taken;
    for (const tail_of* t = newest; t != nullptr; t = t->below) taken.push_back(t);
    std::string text;
    std::vector<std::size_t> starts;  // where each record's lines begin, oldest first
    for (auto t = taken.rbegin(); t != taken.rend(); ++t) {
        starts.push_back(text.size());
        text += call_lines(rt, describe(rt, (*t)->form), (*t)->function) + "\n";
        if ((*t)->repeats == 0) continue;
        // The group's lines again for every turn after the first.
        const std::string group = text.substr(starts[starts.size() - (*t)->span]);
        for (std::uint32_t k = 0; k < (*t)->repeats; ++k) text += group;
    }
    return text;
}

void trace_tails(Tracer& t, const tail_of* newest) {
    for (const tail_of* o = newest; o != nullptr; o = o->below) {
        t.visit(o->form);
        t.visit(o->function);
    }
}

std::string EvalFrame::display(const Runtime& rt) const {
    std::string text = tail_lines(rt, outer);
    const std::string form = describe(rt, expression);
    switch (at) {
    case state::arguments:
    case state::assigning:
        return text + "EvalFrame: " + form + "\nEvalArgsFrame: " + describe(rt, rest_of(expression));
    case state::calling:
    case state::bodied:
        return text + "EvalFrame: " + form + "\nCallFrame: " + form;
    case state::native:
    case state::body:
    case state::if_condition:
    case state::if_branch:
        return text + call_lines(rt, form, function);
    case state::setting: {
        value* set_form = first(remaining);
        return text + call_lines(rt, form, function) + "\nEvalFrame: " + describe(rt, set_form) +
               "\nEvalArgsFrame: " + describe(rt, rest_of(set_form));
    }
    default:
        return text + "EvalFrame: " + form;
    }
}

namespace {

// `((fn (a b) body...) x y)` through the global fn, with as many plain parameters (named,
// distinct, neither current-scope nor parent-scope) as arguments and a body: what `let`
// writes. Running the body in a fresh scope of `env` is then exactly the call of the
// function the head would make, which nothing else can see.
bool applies_in_place(const Runtime& rt, velune::environment* env, value* expression) {
    value* symbol = first(first(expression));
    if (!is<named_symbol>(symbol)) return false;
    value* bound = env->lookup_name(as<named_symbol>(symbol)->name);
    if (bound == nullptr || !is<velune::function>(bound)) return false;
    auto* f = as<velune::function>(bound);
    if (f->implementation != rt.fn_form || f->exec_mode != exec_mode::no_eval) return false;
    return in_place_parameters(rt, expression) >= 0;
}

}  // namespace

bool EvalFrame::next_step(Interpreter& in) {
    switch (at) {
    case state::start:
        if (!is<cell>(expression)) {
            result = atom_value(environment, expression);
            if (result == nullptr) throw undefined_symbol(expression);
            return true;
        }
        if (in.rt.fast_paths && is<cell>(first(expression)) && applies_in_place(in.rt, environment, expression)) {
            return start_in_place(in);
        }
        function = evaluate_now(in, environment, first(expression));
        if (function == nullptr) {
            // Its own frame, so that an error there shows in the trace as it should.
            at = state::head;
            in.push<EvalFrame>(environment, first(expression));
            return false;
        }
        return start_call(in);
    case state::head_known:
        for (;;) {
            if (start_call(in)) return true;
            // A tail form taken over just now: one headed by a native or a built-in form goes
            // on at once. A Velune function's waits for the next step, so that a loop of tail
            // calls passes a safe point on every turn.
            if (at != state::head_known || !is<velune::function>(function) ||
                is<lispfunc>(as<velune::function>(function)->implementation)) {
                return false;
            }
        }
    case state::arguments:
        return evaluate_arguments(in);
    case state::body:
        return run_body(in);
    case state::if_branch:
        return take_branch(in, remaining);
    case state::call:
    case state::done:
        return true;
    default:
        unknown_state(in.rt, "EvalFrame.next_step()", static_cast<int>(at));
    }
}

bool EvalFrame::start_in_place(Interpreter& in) {
    value* head = first(expression);
    // The body list stands for the function: the lines it shows are the same.
    function = rest_of(rest_of(head));
    last = first(rest_of(head));  // the parameters not yet bound
    at = state::arguments;
    remaining = rest_of(expression);
    gathered = in.rt.heap.make<velune::environment>(in.rt, environment);
    return evaluate_arguments(in);
}

bool EvalFrame::start_call(Interpreter& in) {
    Runtime& rt = in.rt;
    if (!is<velune::function>(function)) throw not_callable(rt, function, expression);
    auto* f = as<velune::function>(function);
    value* arguments = rest_of(expression);
    switch (f->exec_mode) {
    case exec_mode::function: {
        at = state::arguments;
        remaining = arguments;
        // A Velune function's values go straight into its scope when the count is right.
        if (is<lispfunc>(f->implementation)) {
            auto* l = as<lispfunc>(f->implementation);
            if (l->rest_parameter == nullptr && l->fast == nullptr && !l->dispatches && l->plain_parameters() &&
                has_exactly(rt, arguments, l->parameters.size())) {
                gathered = rt.heap.make<velune::environment>(rt, l->closure);
                return evaluate_arguments(in);
            }
        }
        gathered = rt.nil;
        if (has_fast_path(f->implementation)) {
            if (has_exactly(rt, arguments, 2)) held = true;
        } else if (f->implementation == rt.set_symbol_form && rt.fast_paths &&
                   sets_quoted_name(rt, environment, arguments)) {
            return start_assigning(in);
        }
        return evaluate_arguments(in);
    }
    case exec_mode::macro:
        throw LispError{"trying to call the macro " + describe(rt, first(expression)) +
                        " at evaluation time (it was bound after this form was expanded, or reached "
                        "through a variable)\n       at " +
                        describe(rt, expression)};
    case exec_mode::no_eval:
    case exec_mode::no_expand:
        gathered = arguments;  // the form's own cells, unevaluated
        if (f->implementation == rt.if_form && is_if_form(rt, arguments)) {
            at = state::if_condition;
            value* condition = first(arguments);
            if (value* v = evaluate_or_push(in, environment, condition)) {
                return take_branch(in, if_branch(rt, condition, v, nth(arguments, 1), else_of(rt, arguments)));
            }
            return false;
        }
        return call_function(in);
    }
    internal_failure("EvalFrame: a function of no known exec mode");
}

bool EvalFrame::evaluate_arguments(Interpreter& in) {
    Runtime& rt = in.rt;
    while (is<cell>(remaining)) {
        value* argument = first(remaining);
        remaining = rest_of(remaining);
        value* v = evaluate_or_push(in, environment, argument);
        if (v == nullptr) return false;
        gather(rt, v);
    }
    if (remaining != rt.nil) throw improper_form(rt, "argument list", rest_of(expression));
    return call_function(in);
}

void EvalFrame::gather(Runtime& rt, value* v) {
    if (held) {
        (bound++ == 0 ? gathered : last) = v;
        return;
    }
    if (is<velune::environment>(gathered)) {
        const Name* name;
        if (is<cell>(function)) {  // a function applied in place: its parameter list
            value* parameter = first(last);
            last = rest_of(last);
            if (is<num_symbol>(parameter)) {  // a macro's local
                as<velune::environment>(gathered)->bind_number(as<num_symbol>(parameter)->number, v);
                return;
            }
            name = as<named_symbol>(parameter)->name;
        } else {
            auto* f = as<lispfunc>(as<velune::function>(function)->implementation);
            name = as<named_symbol>(f->parameters[bound++])->name;
        }
        as<velune::environment>(gathered)->bind_parameter(name, v);
        return;
    }
    // The list is built front to back as the values arrive: no copy at the end.
    cell* c = cons(rt, v, rt.nil);
    if (last == nullptr) {
        gathered = c;
    } else {
        old_write_barrier(last);  // the list may have aged while its values came
        as<cell>(last)->cdr = c;
    }
    last = c;
}

bool EvalFrame::call_function(Interpreter& in) {
    Runtime& rt = in.rt;
    if (is<cell>(function)) {  // a function applied in place: its body, in the scope made
        at = state::body;
        remaining = function;
        result = rt.nil;
        return run_body(in);
    }
    value* implementation = as<velune::function>(function)->implementation;
    switch (implementation->kind) {
    case value_kind::nativefunc: {
        auto* native = as<nativefunc>(implementation);
        at = state::done;
        if (held) {
            value* values[2] = {gathered, last};
            if ((result = native->fast(rt, values, 2)) != nullptr) return true;
            held = false;
            gathered = cons(rt, values[0], cons(rt, values[1], rt.nil));
        } else if (native->fast != nullptr) {
            value* values[4];
            std::size_t count = 0;
            for (value* v = gathered; is<cell>(v) && count < 4; v = rest_of(v)) values[count++] = first(v);
            if (count < 4 && (result = native->fast(rt, values, count)) != nullptr) return true;
        }
        at = state::native;
        result = native->entry(in, environment, gathered);
        at = state::done;
        return true;
    }
    case value_kind::lispfunc: {
        velune::environment* scope = nullptr;
        if (is<velune::environment>(gathered) && !held) {
            scope = as<velune::environment>(gathered);
        } else {
            at = state::calling;
            auto* f = as<lispfunc>(implementation);
            if (held) {
                check_count(rt, function, f, 2);
                value* values[2] = {gathered, last};
                if ((result = f->fast(rt, *f, values, 2)) != nullptr) {
                    at = state::done;
                    return true;
                }
                held = false;
                gathered = cons(rt, values[0], cons(rt, values[1], rt.nil));
            } else {
                check_arguments(rt, function, f, gathered);
                if ((result = try_fast(rt, f, gathered)) != nullptr) {
                    at = state::done;
                    return true;
                }
            }
            if (chosen_method chosen; choose_for(rt, f, gathered, chosen)) {
                if (chosen.value_read != nullptr) {
                    result = chosen.value_read;
                    at = state::done;
                    return true;
                }
                return run_method(in, chosen);
            }
            scope = bind_arguments(rt, f, gathered);
        }
        gathered = scope;
        if (rt.fast_paths && BodyFrame::worth_a_frame(rt, as<lispfunc>(implementation))) {
            at = state::bodied;
            BodyFrame::push(in, scope, as<lispfunc>(implementation));
            return false;
        }
        at = state::body;
        remaining = as<lispfunc>(implementation)->body;
        result = rt.nil;
        return run_body(in);
    }
    default:
        at = state::call;
        in.push<CallFrame>(function, gathered, expression, environment);
        return false;
    }
}

bool EvalFrame::run_method(Interpreter& in, const chosen_method& chosen) {
    Runtime& rt = in.rt;
    // The frames of the dispatch code, as its own run would show them around the method.
    outer = push_tail(rt.frame_stack, outer, chosen.count + 1, [&](std::size_t i) {
        return i == 0 ? tail_record{expression, function} : tail_record{chosen.frames[i - 1][0], chosen.frames[i - 1][1]};
    });
    auto* method = as<lispfunc>(as<velune::function>(chosen.method)->implementation);
    velune::environment* scope = bind_arguments(rt, method, gathered);
    expression = chosen.call_form;
    function = chosen.method;
    gathered = scope;
    // Methods are chosen natively only with the fast paths on, so their bodies run as those
    // of the other Velune functions do then.
    if (BodyFrame::worth_a_frame(rt, method)) {
        at = state::bodied;
        BodyFrame::push(in, scope, method);
        return false;
    }
    at = state::body;
    remaining = method->body;
    result = rt.nil;
    return run_body(in);
}

namespace {

// Whether set-symbol's arguments are `(quote name) x`, name a named symbol, through the
// global quote.
[[gnu::noinline]] bool sets_quoted_name(const Runtime& rt, velune::environment* env, value* arguments) {
    if (!has_exactly(rt, arguments, 2)) return false;
    value* quoted = first(arguments);
    if (!is<cell>(quoted) || !has_exactly(rt, rest_of(quoted), 1) || !is<named_symbol>(first(rest_of(quoted)))) {
        return false;
    }
    velune::function* q = named_function(env, first(quoted));
    if (q == nullptr || q->implementation != rt.quote_form) return false;
    return q->exec_mode == exec_mode::no_eval || q->exec_mode == exec_mode::no_expand;
}

// The global set-symbol when `form` is `(set-symbol (quote name) x)` through it and the global
// quote, name a named symbol; else nullptr.
velune::function* setter_of(const Runtime& rt, velune::environment* env, value* form) {
    if (!rt.fast_paths || !is<cell>(form)) return nullptr;
    velune::function* f = named_function(env, first(form));
    if (f == nullptr || f->implementation != rt.set_symbol_form || f->exec_mode != exec_mode::function) return nullptr;
    return sets_quoted_name(rt, env, rest_of(form)) ? f : nullptr;
}

}  // namespace

// `(set-symbol (quote name) x)` as this frame's own expression (a loop's body, a branch): x is
// evaluated while the frame shows the lines of the arguments' evaluation, as the plain path
// would, and the nearest binding changes here. Only when no scope binds the name does the
// native run, on the values the plain path would give it.
bool EvalFrame::start_assigning(Interpreter& in) {
    at = state::assigning;
    value* x = nth(expression, 2);
    value* head = nullptr;
    if (value* v = evaluate_now(in, environment, x, &head)) return finish_assigning(in, v);
    EvalFrame* frame = in.push<EvalFrame>(environment, x);
    if (head != nullptr) frame->head_is(head);
    return false;
}

bool EvalFrame::finish_assigning(Interpreter& in, value* v) {
    Runtime& rt = in.rt;
    value* symbol = first(rest_of(nth(expression, 1)));
    at = state::done;
    if (environment->rebind_nearest(as<named_symbol>(symbol)->name, v)) {
        result = rt.true_value;
        return true;
    }
    gathered = cons(rt, symbol, cons(rt, v, rt.nil));
    at = state::native;
    result = as<nativefunc>(as<velune::function>(function)->implementation)->entry(in, environment, gathered);
    at = state::done;
    return true;
}

// `(set-symbol (quote name) x)` in a body, not its last form (what `let` writes first): x is
// evaluated by this frame, which meanwhile shows the lines of the form's own frame, and the
// binding changes here; the native itself runs only when no scope binds the name.
// `remaining` still holds the form until it is done; `last` holds set-symbol.
bool EvalFrame::start_setting(Interpreter& in, velune::environment* scope, velune::function* setter) {
    at = state::setting;
    last = setter;
    value* x = nth(first(remaining), 2);
    value* head = nullptr;
    if (value* v = evaluate_now(in, scope, x, &head)) {
        finish_setting(in, v);
        return true;
    }
    EvalFrame* frame = in.push<EvalFrame>(scope, x);
    if (head != nullptr) frame->head_is(head);
    return false;
}

void EvalFrame::finish_setting(Interpreter& in, value* v) {
    Runtime& rt = in.rt;
    value* form = first(remaining);
    auto* setter = as<velune::function>(last);
    remaining = rest_of(remaining);
    last = nullptr;
    at = state::body;
    auto* scope = as<velune::environment>(gathered);
    value* symbol = first(rest_of(first(rest_of(form))));
    if (scope->rebind_nearest(as<named_symbol>(symbol)->name, v)) {
        result = rt.true_value;
        return;
    }
    result = call_native_now(in, scope, form, setter, cons(rt, symbol, cons(rt, v, rt.nil)));
}

bool EvalFrame::run_body(Interpreter& in) {
    auto* scope = as<velune::environment>(gathered);
    while (is<cell>(remaining)) {
        value* body_expression = first(remaining);
        if (rest_of(remaining) != in.rt.nil) {
            if (velune::function* setter = setter_of(in.rt, scope, body_expression)) {
                if (!start_setting(in, scope, setter)) return false;
                continue;
            }
            remaining = rest_of(remaining);
            value* v = evaluate_or_push(in, scope, body_expression);
            if (v == nullptr) return false;
            result = v;
            continue;
        }
        remaining = in.rt.nil;
        value* head = nullptr;
        value* v = evaluate_now(in, scope, body_expression, &head);
        if (v == nullptr) return take_over(in, scope, body_expression, head);
        result = v;
    }
    return true;
}

bool EvalFrame::take_over(Interpreter& in, velune::environment* env, value* last_expression, value* head) {
    outer = push_tail(in.rt.frame_stack, outer, 1, [&](std::size_t) { return tail_record{expression, function}; });
    environment = env;
    expression = last_expression;
    at = head != nullptr ? state::head_known : state::start;
    bound = 0;
    function = head;
    remaining = gathered = result = last = nullptr;
    held = false;
    return false;  // stepped again at once, as the frame of the new expression
}

bool EvalFrame::take_branch(Interpreter& in, value* branch) {
    at = state::if_branch;
    value* head = nullptr;
    if (value* v = evaluate_now(in, environment, branch, &head)) {
        result = v;
        at = state::done;
        return true;
    }
    return take_over(in, environment, branch, head);
}

void EvalFrame::resume(Interpreter& in, value* v) {
    switch (at) {
    case state::head:
        function = v;
        at = state::head_known;
        break;
    case state::arguments:
        gather(in.rt, v);
        break;
    case state::body:
    case state::call:
        result = v;
        break;
    case state::bodied:
        result = v;
        at = state::done;
        break;
    case state::if_condition: {
        value* arguments = gathered;
        remaining = if_branch(in.rt, first(arguments), v, nth(arguments, 1), else_of(in.rt, arguments));
        at = state::if_branch;
        break;
    }
    case state::if_branch:
        result = v;
        at = state::done;
        break;
    case state::setting:
        finish_setting(in, v);
        break;
    case state::assigning:
        finish_assigning(in, v);
        break;
    default:
        internal_failure("unknown state in EvalFrame.resume(): " + format_integer(static_cast<int>(at)));
    }
}

void EvalFrame::trace(Tracer& t) const {
    trace_tails(t, outer);
    t.visit(environment);
    t.visit(expression);
    t.visit(function);
    t.visit(remaining);
    t.visit(gathered);
    t.visit(last);
    t.visit(result);
}

// ---- CallFrame ----

std::string CallFrame::display(const Runtime& rt) const { return "CallFrame: " + describe(rt, expression); }

bool CallFrame::next_step(Interpreter& in) {
    if (pushed) return true;
    Runtime& rt = in.rt;
    if (!is<velune::function>(function)) {
        throw LispError{"cannot call " + describe(rt, function) + ": it is not a function"};
    }
    value* implementation = as<velune::function>(function)->implementation;
    switch (implementation->kind) {
    case value_kind::nativefunc: {
        // A native finishes in one step: call it here and keep its frame only for a trace.
        auto* native = as<nativefunc>(implementation);
        try {
            result = native->entry(in, environment, arguments);
        } catch (...) {
            in.push<NativeCallFrame>(arguments, environment, native);
            throw;
        }
        return true;
    }
    case value_kind::resumable_native:
        in.push<ResumableNativeCallFrame>(arguments, environment, as<resumable_native>(implementation));
        break;
    case value_kind::lispfunc: {
        auto* f = as<lispfunc>(implementation);
        check_arguments(rt, function, f, arguments);
        if (value* v = try_fast(rt, f, arguments)) {
            result = v;
            return true;
        }
        velune::environment* scope = bind_arguments(rt, f, arguments);
        if (rt.fast_paths) {
            BodyFrame::push(in, scope, f);
        } else {
            in.push<ExecFrame>(f->body, scope, rt.nil);
        }
        break;
    }
    default:
        internal_failure("CallFrame: a function whose implementation is of no known kind");
    }
    pushed = true;
    return false;
}

void CallFrame::trace(Tracer& t) const {
    t.visit(function);
    t.visit(arguments);
    t.visit(expression);
    t.visit(environment);
    t.visit(result);
}

// ---- ExpandFrame ----

std::string ExpandFrame::display(const Runtime& rt) const { return "ExpandFrame: " + describe(rt, expression); }

bool ExpandFrame::next_step(Interpreter& in) {
    switch (at) {
    case state::start: {
        if (!is<cell>(expression)) {
            result = expression;
            return true;
        }
        value* head = first(expression);
        if (is<named_symbol>(head) || is<num_symbol>(head)) {
            value* bound = environment->lookup(head);
            if (bound != nullptr && is<function>(bound)) {
                switch (as<function>(bound)->exec_mode) {
                case exec_mode::no_expand:
                    result = expression;
                    return true;
                case exec_mode::macro:
                    in.push<CallFrame>(bound, rest_of(expression), expression, environment);
                    at = state::macro;
                    return false;
                case exec_mode::function:
                case exec_mode::no_eval:
                    break;
                }
            }
        }
        in.push<ExpandAllFrame>(environment, expression);
        at = state::elements;
        return false;
    }
    case state::macro:
        // The macro's output is expanded again from the top.
        in.push<ExpandFrame>(environment, result);
        at = state::done;
        return false;
    case state::done:
        return true;
    default:
        unknown_state(in.rt, "ExpandFrame.next_step()", static_cast<int>(at));
    }
}

void ExpandFrame::resume(Interpreter&, value* v) {
    result = v;
    if (at == state::elements) at = state::done;
}

void ExpandFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(expression);
    t.visit(result);
}

// ---- ExpandAllFrame ----

std::string ExpandAllFrame::display(const Runtime& rt) const { return "ExpandAllFrame: " + describe(rt, expression); }

bool ExpandAllFrame::next_step(Interpreter& in) {
    while (is<cell>(remaining)) {
        value* element = first(remaining);
        remaining = rest_of(remaining);
        if (is<cell>(element)) {
            in.push<ExpandFrame>(environment, element);
            return false;
        }
        values.push_back(element);  // atoms expand to themselves
    }
    if (remaining != in.rt.nil) throw improper_form(in.rt, "form being expanded", expression);
    result = make_list(in.rt, values);
    return true;
}

void ExpandAllFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(expression);
    t.visit(remaining);
    t.visit_all(values);
    t.visit(result);
}

// ---- ExecFrame ----

std::string ExecFrame::display(const Runtime& rt) const { return "ExecFrame: " + describe(rt, body_list); }

bool ExecFrame::next_step(Interpreter& in) {
    while (is<cell>(position)) {
        value* expression = first(position);
        position = rest_of(position);
        value* v = evaluate_or_push(in, environment, expression);
        if (v == nullptr) return false;
        result = v;
    }
    return true;
}

void ExecFrame::trace(Tracer& t) const {
    t.visit(body_list);
    t.visit(environment);
    t.visit(position);
    t.visit(result);
}

// ---- NativeCallFrame ----

std::string NativeCallFrame::display(const Runtime&) const { return "NativeCallFrame: " + native->name; }

bool NativeCallFrame::next_step(Interpreter& in) {
    result = native->entry(in, environment, arguments);
    return true;
}

void NativeCallFrame::resume(Interpreter&, value*) { internal_failure("NativeCallFrame received a value but never has a child"); }

void NativeCallFrame::trace(Tracer& t) const {
    t.visit(arguments);
    t.visit(environment);
    t.visit(native);
    t.visit(result);
}

// ---- ResumableNativeCallFrame ----

std::string ResumableNativeCallFrame::display(const Runtime&) const {
    return "ResumableNativeCallFrame: " + native->name;
}

bool ResumableNativeCallFrame::next_step(Interpreter& in) {
    switch (at) {
    case state::start: {
        object = native->make(in.rt.frame_stack);
        const std::size_t depth = in.frames.size();
        object->init(in, environment, arguments);
        at = state::stepping;
        if (in.frames.size() != depth) return false;
        [[fallthrough]];  // nothing pushed: the object may go on at once
    }
    case state::stepping:
        if (!object->next_step(in)) return false;
        result = object->result != nullptr ? object->result : in.rt.nil;
        return true;
    }
    internal_failure("unknown state in ResumableNativeCallFrame.next_step(): " + format_integer(static_cast<int>(at)));
}

void ResumableNativeCallFrame::resume(Interpreter& in, value* v) { object->resume(in, v); }

void ResumableNativeCallFrame::trace(Tracer& t) const {
    t.visit(arguments);
    t.visit(environment);
    t.visit(native);
    t.visit(result);
    if (object) object->trace(t);
}

// ---- LoadFrame ----

std::string LoadFrame::display(const Runtime&) const { return "LoadFrame: " + what; }

bool LoadFrame::next_step(Interpreter& in) {
    switch (at) {
    case state::read: {
        auto next = next_expr(in.rt, source, static_cast<std::int64_t>(position));
        if (!next) return true;
        position = static_cast<std::size_t>(next->position);
        result = next->expression;
        at = state::expand;
        return false;
    }
    case state::expand:
        in.push<ExpandFrame>(environment, result);
        at = state::evaluate;
        return false;
    case state::evaluate:
        in.push<EvalFrame>(environment, result);
        at = state::evaluated;
        return false;
    case state::evaluated:
        at = state::read;
        return false;
    }
    unknown_state(in.rt, "LoadFrame.next_step()", static_cast<int>(at));
}

void LoadFrame::resume(Interpreter&, value* v) {
    switch (at) {
    case state::evaluate:
    case state::evaluated:
        result = v;
        return;
    case state::expand:
        internal_failure("LoadFrame received a value in a state that pushes nothing");
    case state::read:
        break;
    }
    internal_failure("unknown state in LoadFrame.resume(): " + format_integer(static_cast<int>(at)));
}

void LoadFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(result);
}

}  // namespace velune
