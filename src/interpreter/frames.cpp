// The nine frames: evaluation, calls, expansion, bodies, natives and loaded texts.
#include <string>

#include "interpreter/interpreter.h"
#include "parse/parse.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {

value* first(value* list) { return as<cell>(list)->car; }
value* rest_of(value* list) { return as<cell>(list)->cdr; }

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

// ---- EvalFrame ----

std::string EvalFrame::display(const Runtime& rt) const { return "EvalFrame: " + describe(rt, expression); }

bool EvalFrame::next_step(Interpreter& in) {
    switch (state) {
    case 0:
        if (is<named_symbol>(expression) || is<num_symbol>(expression)) {
            result = environment->lookup(expression);
            if (result == nullptr) throw undefined_symbol(expression);
            return true;
        }
        if (!is<cell>(expression)) {
            result = expression;
            return true;
        }
        state = 1;
        // A head that is a bound symbol needs no frame of its own; an unbound one gets
        // its EvalFrame so that the error shows in the trace as it should.
        if (value* head = first(expression); is<named_symbol>(head) || is<num_symbol>(head)) {
            function = environment->lookup(head);
        }
        if (function == nullptr) {
            in.push<EvalFrame>(environment, first(expression));
            return false;
        }
        [[fallthrough]];
    case 1: {
        if (!is<velune::function>(function)) throw not_callable(in.rt, function, expression);
        arguments = rest_of(expression);
        switch (as<velune::function>(function)->exec_mode) {
        case exec_mode::function:
            state = 2;
            in.push<EvalArgsFrame>(environment, arguments);
            return false;
        case exec_mode::macro:
            throw LispError{"trying to call the macro " + describe(in.rt, first(expression)) +
                            " at evaluation time (it was bound after this form was expanded, or reached "
                            "through a variable)\n       at " +
                            describe(in.rt, expression)};
        case exec_mode::no_eval:
        case exec_mode::no_expand:
            argument_values = arguments;  // the form's own cells, unevaluated
            state = 3;
            break;
        }
        [[fallthrough]];
    }
    case 3:
        in.push<CallFrame>(function, argument_values, expression, environment);
        return false;
    case 4:
        return true;
    default:
        unknown_state(in.rt, "EvalFrame.next_step()", state);
    }
}

void EvalFrame::resume(value* v) {
    switch (state) {
    case 1:
        function = v;
        break;
    case 2:
        argument_values = v;
        state = 3;
        break;
    case 3:
        result = v;
        state = 4;
        break;
    default:
        internal_failure("unknown state in EvalFrame.resume(): " + format_integer(state));
    }
}

void EvalFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(expression);
    t.visit(function);
    t.visit(arguments);
    t.visit(argument_values);
    t.visit(result);
}

// ---- EvalArgsFrame ----

std::string EvalArgsFrame::display(const Runtime& rt) const { return "EvalArgsFrame: " + describe(rt, all_arguments); }

bool EvalArgsFrame::next_step(Interpreter& in) {
    Runtime& rt = in.rt;
    if (result == nullptr) result = rt.nil;
    if (arrived != nullptr) {
        append(rt, arrived);
        arrived = nullptr;
    }
    // Atoms and bound symbols are evaluated in place; anything else gets an EvalFrame.
    while (is<cell>(remaining)) {
        value* expression = first(remaining);
        value* v = nullptr;
        if (is<named_symbol>(expression) || is<num_symbol>(expression)) {
            v = environment->lookup(expression);
        } else if (!is<cell>(expression)) {
            v = expression;
        }
        remaining = rest_of(remaining);
        if (v == nullptr) {
            in.push<EvalFrame>(environment, expression);
            return false;
        }
        append(rt, v);
    }
    if (remaining != rt.nil) throw improper_form(rt, "argument list", all_arguments);
    return true;
}

void EvalArgsFrame::append(Runtime& rt, value* v) {
    // The list is built front to back as the values arrive: no copy at the end.
    cell* c = cons(rt, v, rt.nil);
    if (last == nullptr) {
        result = c;
    } else {
        last->cdr = c;
    }
    last = c;
}

void EvalArgsFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(all_arguments);
    t.visit(remaining);
    t.visit(result);
    t.visit(arrived);
}

// ---- CallFrame ----

std::string CallFrame::display(const Runtime& rt) const { return "CallFrame: " + describe(rt, expression); }

// Calls with more arguments than this run their Velune body even where a fast path exists.
constexpr std::size_t fast_arguments = 8;

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
        std::size_t count = 0;
        value* tail = arguments;
        for (; is<cell>(tail); tail = rest_of(tail)) ++count;
        if (tail != rt.nil) throw improper_form(rt, "argument list", arguments);
        const std::size_t wanted = f->parameters.size();
        if (f->rest_parameter == nullptr ? count != wanted : count < wanted) {
            const std::string expected = f->rest_parameter == nullptr ? count_text(wanted) : "at least " + count_text(wanted);
            throw LispError{"(" + function_label(rt, function, f) + "): expects " + expected + ", got " +
                            format_integer(static_cast<std::int64_t>(count))};
        }
        if (f->fast != nullptr && count <= fast_arguments) {
            value* values[fast_arguments];
            std::size_t n = 0;
            for (value* v = arguments; is<cell>(v); v = rest_of(v)) values[n++] = first(v);
            if ((result = f->fast(rt, values, n)) != nullptr) return true;
        }
        auto* scope = rt.heap.make<velune::environment>(rt, f->closure);
        value* given = arguments;
        for (value* parameter : f->parameters) {
            scope->bind(parameter, first(given));
            given = rest_of(given);
        }
        // The rest parameter takes the remaining cells themselves, not a copy.
        if (f->rest_parameter != nullptr) scope->bind(f->rest_parameter, given);
        in.push<ExecFrame>(f->body, scope, rt.nil);
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
    switch (state) {
    case 0: {
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
                    state = 1;
                    return false;
                case exec_mode::function:
                case exec_mode::no_eval:
                    break;
                }
            }
        }
        in.push<ExpandAllFrame>(environment, expression);
        state = 2;
        return false;
    }
    case 1:
        // The macro's output is expanded again from the top.
        in.push<ExpandFrame>(environment, result);
        state = 3;
        return false;
    case 3:
        return true;
    default:
        unknown_state(in.rt, "ExpandFrame.next_step()", state);
    }
}

void ExpandFrame::resume(value* v) {
    result = v;
    if (state == 2) state = 3;
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
        value* v = nullptr;
        if (is<named_symbol>(expression) || is<num_symbol>(expression)) {
            v = environment->lookup(expression);
        } else if (!is<cell>(expression)) {
            v = expression;
        }
        if (v == nullptr) {
            in.push<EvalFrame>(environment, expression);
            return false;
        }
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

void NativeCallFrame::resume(value*) { internal_failure("NativeCallFrame received a value but never has a child"); }

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
    switch (state) {
    case 0: {
        object = native->make(in.rt.frame_pool);
        const std::size_t depth = in.frames.size();
        object->init(in, environment, arguments);
        state = 1;
        if (in.frames.size() != depth) return false;
        [[fallthrough]];  // nothing pushed: the object may go on at once
    }
    case 1:
        if (!object->next_step()) return false;
        result = object->result != nullptr ? object->result : in.rt.nil;
        return true;
    default:
        internal_failure("unknown state in ResumableNativeCallFrame.next_step(): " + format_integer(state));
    }
}

void ResumableNativeCallFrame::resume(value* v) { object->resume(v); }

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
    switch (state) {
    case 0: {
        auto next = next_expr(in.rt, source, static_cast<std::int64_t>(position));
        if (!next) return true;
        position = static_cast<std::size_t>(next->position);
        result = next->expression;
        state = 1;
        return false;
    }
    case 1:
        in.push<ExpandFrame>(environment, result);
        state = 2;
        return false;
    case 2:
        in.push<EvalFrame>(environment, result);
        state = 3;
        return false;
    case 3:
        state = 0;
        return false;
    default:
        unknown_state(in.rt, "LoadFrame.next_step()", state);
    }
}

void LoadFrame::resume(value* v) {
    switch (state) {
    case 2:
    case 3:
        result = v;
        break;
    case 1:
        internal_failure("LoadFrame received a value in a state that pushes nothing");
    default:
        internal_failure("unknown state in LoadFrame.resume(): " + format_integer(state));
    }
}

void LoadFrame::trace(Tracer& t) const {
    t.visit(environment);
    t.visit(result);
}

}  // namespace velune
