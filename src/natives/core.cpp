// The core natives: printing and reading, docs and metadata, symbols and bindings, fn.
#include "natives/natives.h"
#include "parse/parse.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

value* native_to_string(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "to-string");
    args.expect_exactly(1);
    return to_string(in.rt, args.any(0));
}

value* native_represent(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "repr");
    args.expect_exactly(1);
    return represent(in.rt, args.any(0));
}

value* native_read(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "read");
    args.expect_exactly(2);
    const std::string& text = args.text(0);
    const std::int64_t position = args.integer(1);
    if (position < 0) {
        throw LispError{"(read): expects a position that is not negative, got " + format_integer(position)};
    }
    std::optional<result> next;
    try {
        next = next_expr(rt, text, position);
    } catch (SyntaxError& e) {
        e.in_read = true;  // its place is in the string, not in a file
        throw;
    }
    if (!next) return rt.nil;
    value* expression = next->expression;
    return cons(rt, make_integer(rt, next->position), expression);
}

value* get_closure(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-closure");
    args.expect_exactly(1);
    value* f = args.any(0);
    if (!is<function>(f)) throw LispError{"(get-closure): expects a function as its argument"};
    value* implementation = as<function>(f)->implementation;
    if (!is<lispfunc>(implementation)) {
        throw LispError{"(get-closure): can only be used on functions defined in Velune"};
    }
    return as<lispfunc>(implementation)->closure;
}

namespace {
// The doc and metadata natives differ only in the slot they read or write.
template <class Read> value* read_slot(Interpreter& in, value* arguments, const char* name, Read read) {
    arg_list args(in.rt, arguments, name);
    args.expect_exactly(1);
    value* v = read(args.any(0));
    return v != nullptr ? v : in.rt.nil;
}

template <class Write> value* write_slot(Interpreter& in, value* arguments, const char* name, Write write) {
    arg_list args(in.rt, arguments, name);
    args.expect_exactly(2);
    write(args.any(0), args.any(1));
    return in.rt.nil;
}
}  // namespace

value* get_doc(Interpreter& in, environment*, value* a) {
    return read_slot(in, a, "get-doc", [](value* v) { return v->doc(); });
}
value* set_doc(Interpreter& in, environment*, value* a) {
    return write_slot(in, a, "set-doc", [&in](value* v, value* doc) { v->set_doc(in.rt.heap, doc); });
}
value* get_metadata(Interpreter& in, environment*, value* a) {
    return read_slot(in, a, "get-metadata", [](value* v) { return v->metadata(); });
}
value* set_metadata(Interpreter& in, environment*, value* a) {
    return write_slot(in, a, "set-metadata", [&in](value* v, value* m) { v->set_metadata(in.rt.heap, m); });
}

value* get_type(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "get-type");
    args.expect_exactly(1);
    return args.any(0)->type;
}

value* macroexpand(Interpreter& in, environment* env, value* arguments) {
    arg_list args(in.rt, arguments, "macroexpand");
    return expand_new(in.rt, env, args.any(0));
}

value* function_constructor(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "with-exec-mode");
    const std::string& mode_name = args.named_symbol(0)->name->text;
    velune::function* f = args.function(1);
    exec_mode mode;
    if (mode_name == "function") {
        mode = exec_mode::function;
    } else if (mode_name == "macro") {
        mode = exec_mode::macro;
    } else if (mode_name == "no-eval") {
        mode = exec_mode::no_eval;
    } else if (mode_name == "no-expand") {
        mode = exec_mode::no_expand;
    } else {
        throw LispError{"(with-exec-mode): Unknown exec mode: " + mode_name};
    }
    return rt.heap.make<function>(rt, mode, f->implementation);
}

value* gen_symbol(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "gensym");
    args.expect_exactly(0);
    return next_num_symbol(in.rt);
}

value* error(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "error");
    args.expect_at_least(2);
    throw LispError{"Error: " + describe(in.rt, args.any(0)) + ": " + describe(in.rt, args.any(1))};
}

value* quote(Interpreter& in, environment*, value* arguments) {
    arg_list args(in.rt, arguments, "quote");
    return args.any(0);
}

value* logical_not(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "not");
    value* v = args.any(0);
    if (v == rt.true_value) return rt.false_value;
    if (v == rt.false_value) return rt.true_value;
    args.wrong_kind(0, "true or false");
}

namespace {
std::string symbol_text(const value* symbol) {
    return is<named_symbol>(symbol) ? as<named_symbol>(symbol)->name->text
                                    : format_integer(as<num_symbol>(symbol)->number);
}
}  // namespace

value* set_symbol(Interpreter& in, environment* env, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "set-symbol");
    value* symbol = args.any(0);
    if (!is_symbol(symbol)) throw LispError{"set-symbol: argument must be a symbol, got " + describe(rt, symbol)};
    value* v = args.any(1);
    // Never creates a binding: only the nearest existing one changes.
    if (is<named_symbol>(symbol)) {
        if (env->rebind_nearest(as<named_symbol>(symbol)->name, v)) return rt.true_value;
        throw LispError{"set-symbol: could not find a suitable variable to set symbol '" + symbol_text(symbol)};
    }
    for (environment* e = env; e != nullptr; e = e->parent) {
        if (e->has_symbol(symbol)) {
            e->bind(symbol, v);
            return rt.true_value;
        }
    }
    throw LispError{"set-symbol: could not find a suitable variable to set symbol '" + symbol_text(symbol)};
}

value* unset_var(Interpreter& in, environment* env, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "unset");
    value* symbol = args.symbol(0);
    for (environment* e = env; e != nullptr; e = e->parent) {
        if (e->remove(symbol)) return rt.true_value;
    }
    return rt.false_value;
}

value* lambda_constructor(Interpreter& in, environment* env, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "fn");
    value* parameter_list = args.any(0);
    if (!is_list(parameter_list)) args.wrong_kind(0, "a parameter list");
    std::vector<value*> parameters;
    value* rest_parameter = nullptr;
    for (value* p = parameter_list; is<cell>(p); p = as<cell>(p)->cdr) {
        value* parameter = as<cell>(p)->car;
        if (!is_symbol(parameter)) {
            throw LispError{"(fn): parameters must be symbols, got " + describe(rt, parameter)};
        }
        if (is<named_symbol>(parameter) && as<named_symbol>(parameter)->name == rt.known.dot) {
            value* after = as<cell>(p)->cdr;
            if (after == rt.nil) throw LispError{"parameter list must not end with . in function definition"};
            if (as<cell>(after)->cdr != rt.nil) {
                throw LispError{"parameter list must end after rest parameter in function definition"};
            }
            rest_parameter = as<cell>(after)->car;
            if (!is_symbol(rest_parameter)) {
                throw LispError{"(fn): parameters must be symbols, got " + describe(rt, rest_parameter)};
            }
            break;
        }
        parameters.push_back(parameter);
    }
    value* body = as<cell>(arguments)->cdr;
    auto* implementation = rt.heap.make<lispfunc>(rt, std::move(parameters), rest_parameter, body, env);
    if (rt.classify_function != nullptr) rt.classify_function(rt, implementation);
    return rt.heap.make<function>(rt, exec_mode::function, implementation);
}

value* print_value(Interpreter& in, environment*, value* arguments) {
    Runtime& rt = in.rt;
    arg_list args(rt, arguments, "print");
    value* v = args.any(0);
    if (!is<string>(v)) {
        // Converted by whatever the global to-string is at the time of the call.
        v = call(rt, rt.known.to_string, {v});
        if (!is<string>(v)) throw LispError{"(print): to-string returned " + describe(rt, v) + ", not a string"};
    }
    rt.out.write(as<string>(v)->text);
    rt.out.write("\n");
    return rt.nil;
}

value* list_constructor(Interpreter& in, environment*, value* arguments) {
    require_proper_list(in.rt, arguments, "list");
    return arguments;
}

}  // namespace velune
