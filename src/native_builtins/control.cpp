// The control forms if, and, or, define and apply: each evaluates what it needs by pushing
// frames, never by calling the evaluator.
#include "native_builtins/native_builtins.h"
#include "natives/natives.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {

class if_block final : public resumable_builtin {
    enum class state { awaiting_condition, run_branch, done } at = state::awaiting_condition;
    value* condition = nullptr;
    value* then_branch = nullptr;
    value* else_branch = nullptr;
    value* taken = nullptr;  // the branch, once the condition is known
    velune::environment* environment = nullptr;

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        environment = env;
        arg_list args(in.rt, arguments, "if");
        args.expect_at_least(2);
        condition = args.any(0);
        then_branch = args.any(1);
        // A missing else branch is the expression nil; anything after it is ignored.
        else_branch = args.size() > 2 ? args.any(2) : in.rt.nil;
        in.push<EvalFrame>(environment, condition);
    }

    bool next_step(Interpreter& in) override {
        switch (at) {
        case state::run_branch:
            in.push<EvalFrame>(environment, taken);
            return false;
        case state::done:
            return true;
        default:
            internal_failure("if_block.next_step() while awaiting its condition");
        }
    }

    void resume(Interpreter& in, value* v) override {
        const Runtime& rt = in.rt;
        switch (at) {
        case state::awaiting_condition:
            taken = if_branch(rt, condition, v, then_branch, else_branch);
            at = state::run_branch;
            break;
        case state::run_branch:
            result = v;
            at = state::done;
            break;
        default:
            internal_failure("if_block.resume() after it was done");
        }
    }

    void trace(Tracer& t) const override {
        t.visit(condition);
        t.visit(then_branch);
        t.visit(else_branch);
        t.visit(taken);
        t.visit(environment);
        t.visit(result);
    }
};

// and and or differ only in which boolean stops the walk early.
template <bool stop_on> class boolean_operator final : public resumable_builtin {
    value* arguments = nullptr;
    value* remaining = nullptr;  // the expressions not yet evaluated
    value* evaluating = nullptr;  // the expression whose value is awaited, for the message
    velune::environment* environment = nullptr;

    static const char* name() { return stop_on ? "or" : "and"; }

public:
    void init(Interpreter& in, velune::environment* env, value* args) override {
        environment = env;
        require_proper_list(in.rt, args, name());
        arguments = args;
        remaining = args;
        result = in.rt.boolean(!stop_on);
    }

    bool next_step(Interpreter& in) override {
        if (!is<cell>(remaining)) return true;
        evaluating = as<cell>(remaining)->car;
        remaining = as<cell>(remaining)->cdr;
        in.push<EvalFrame>(environment, evaluating);
        return false;
    }

    void resume(Interpreter& in, value* v) override {
        Runtime& rt = in.rt;
        if (v == rt.boolean(stop_on)) {
            result = v;
            remaining = rt.nil;  // short-circuit: the rest is never evaluated
        } else if (v != rt.boolean(!stop_on)) {
            value* form = cons(rt, make_symbol(rt, name()), arguments);
            throw LispError{describe(rt, form) + ": Arguments must be booleans, " + describe(rt, evaluating) + " = " +
                            describe(rt, v) + " is not"};
        }
    }

    void trace(Tracer& t) const override {
        t.visit(arguments);
        t.visit(remaining);
        t.visit(evaluating);
        t.visit(environment);
        t.visit(result);
    }
};

using and_operator = boolean_operator<false>;
using or_operator = boolean_operator<true>;

class define final : public resumable_builtin {
    value* symbol = nullptr;

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        arg_list args(in.rt, arguments, "define");
        args.expect_at_least(2);
        symbol = args.named_symbol(0);
        in.push<EvalFrame>(env, args.any(1));
    }

    bool next_step(Interpreter&) override { return true; }

    // Always global, whatever scope the form was evaluated in; the form's value is nil.
    void resume(Interpreter& in, value* v) override { in.rt.global->bind(symbol, v); }

    void trace(Tracer& t) const override {
        t.visit(symbol);
        t.visit(result);
    }
};

class apply final : public resumable_builtin {
public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        arg_list args(in.rt, arguments, "apply");
        args.expect_at_least(2);
        velune::function* f = args.function(0);
        value* list = args.any(1);
        if (!is_list(list)) args.wrong_kind(1, "a proper list");
        // The list goes to the function as it is: a no-eval form gets its elements unevaluated.
        in.push<CallFrame>(f, list, in.rt.nil, env);
    }

    bool next_step(Interpreter&) override { return true; }
    void resume(Interpreter&, value* v) override { result = v; }
    void trace(Tracer& t) const override { t.visit(result); }
};

}  // namespace

builtin_ptr make_if_block(StackArena& arena) { return make_builtin<if_block>(arena); }
builtin_ptr make_and_operator(StackArena& arena) { return make_builtin<and_operator>(arena); }
builtin_ptr make_or_operator(StackArena& arena) { return make_builtin<or_operator>(arena); }
builtin_ptr make_define(StackArena& arena) { return make_builtin<define>(arena); }
builtin_ptr make_apply(StackArena& arena) { return make_builtin<apply>(arena); }

}  // namespace velune
