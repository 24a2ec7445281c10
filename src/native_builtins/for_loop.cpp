// The for loop: calls an iterator function until it answers nil, running the body once
// per item in a fresh scope that binds the loop variable.
#include "native_builtins/native_builtins.h"
#include "natives/natives.h"
#include "value/printer.h"

namespace velune {

namespace {

class for_loop final : public resumable_builtin {
    enum class state { awaiting_iterator, call_iterator, awaiting_item, awaiting_body, done };
    state at = state::awaiting_iterator;
    value* body = nullptr;  // the body expressions, a proper list
    velune::environment* environment = nullptr;
    value* variable = nullptr;
    velune::environment* iteration_environment = nullptr;
    value* iterator = nullptr;
    value* call_form = nullptr;  // (VAR), what the iterator's CallFrame shows in a trace
    // With the fast paths, the body runs in a BodyFrame as the body of a function nobody
    // else sees (its trace line is the same ExecFrame line).
    lispfunc* body_function = nullptr;

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        environment = env;
        arg_list args(in.rt, arguments, "for");
        args.expect_at_least(2);
        variable = args.symbol(0);
        body = as<cell>(as<cell>(arguments)->cdr)->cdr;
        result = in.rt.nil;
        in.push<EvalFrame>(environment, args.any(1));
    }

    bool next_step(Interpreter& in) override {
        switch (at) {
        case state::call_iterator:
            call_iterator(in);
            return at == state::done;
        case state::done:
            return true;
        default:
            internal_failure("for_loop.next_step() while awaiting a value");
        }
    }

    // The next pass's frame is pushed here rather than at the next step: a pass is then two
    // frame steps, the iterator's and the body's.
    void resume(Interpreter& in, value* v) override {
        Runtime& rt = in.rt;
        switch (at) {
        case state::awaiting_iterator:
            if (!is<velune::function>(v)) throw LispError{"(for): expects a function as iterator, got " + describe(rt, v)};
            iterator = v;
            at = state::call_iterator;
            break;
        case state::awaiting_item:
            if (v == rt.nil) {
                at = state::done;
                break;
            }
            if (!is<cell>(v)) {
                throw LispError{"Iteration Error: the generator returned an incorrectly encoded value: " +
                                describe(rt, v)};
            }
            // One scope per pass, so closures made in the body keep their own pass's item.
            iteration_environment = rt.heap.make<velune::environment>(rt, environment);
            // The fresh scope's first entry, as a call's parameter is.
            if (is<named_symbol>(variable) && as<named_symbol>(variable)->name->scope_role == 0) {
                iteration_environment->bind_parameter(as<named_symbol>(variable)->name, as<cell>(v)->car);
            } else {
                iteration_environment->bind(variable, as<cell>(v)->car);
            }
            run_body(in);
            break;
        case state::awaiting_body:
            result = v;
            call_iterator(in);
            break;
        default:
            internal_failure("for_loop.resume() in a state that pushed nothing");
        }
    }

    void trace(Tracer& t) const override {
        t.visit(body);
        t.visit(environment);
        t.visit(variable);
        t.visit(iteration_environment);
        t.visit(iterator);
        t.visit(call_form);
        t.visit(body_function);
        t.visit(result);
    }

private:
    // Pushes the iterator's call, or takes its item at once from a fast routine (range's),
    // which declines before any error.
    void call_iterator(Interpreter& in) {
        Runtime& rt = in.rt;
        if (call_form == nullptr) call_form = cons(rt, variable, rt.nil);
        at = state::awaiting_item;
        if (auto* f = as<velune::function>(iterator); is<lispfunc>(f->implementation) && f->exec_mode == exec_mode::function) {
            auto* l = as<lispfunc>(f->implementation);
            if (l->parameters.empty() && l->rest_parameter == nullptr && !l->dispatches) {
                if (l->fast != nullptr) {
                    if (value* item = l->fast(rt, *l, nullptr, 0)) {
                        resume(in, item);
                        return;
                    }
                } else if (rt.fast_paths) {
                    // What the CallFrame would do, its line shown by the body's frame.
                    BodyFrame::push_called(in, rt.heap.make<velune::environment>(rt, l->closure), l, call_form);
                    return;
                }
            }
        }
        in.push<CallFrame>(iterator, rt.nil, call_form, environment);
    }

    void run_body(Interpreter& in) {
        Runtime& rt = in.rt;
        if (rt.fast_paths) {
            if (body_function == nullptr) {
                body_function = rt.heap.make<lispfunc>(rt, std::vector<value*>{}, nullptr, body, environment);
            }
            BodyFrame::push(in, iteration_environment, body_function);
        } else {
            in.push<ExecFrame>(body, iteration_environment, rt.nil);
        }
        at = state::awaiting_body;
    }
};

}  // namespace

builtin_ptr make_for_loop(StackArena& arena) { return make_builtin<for_loop>(arena); }

}  // namespace velune
