// quasiquote and its two helpers: templates are walked one element per frame, so a deeply
// nested template grows the frame stack, never the host stack.
#include "native_builtins/native_builtins.h"
#include "natives/natives.h"
#include "value/printer.h"

namespace velune {

namespace {

class quasiquote final : public resumable_builtin {
    enum class state { start, walking, awaiting_element, awaiting_unquote, awaiting_splice, awaiting_root_unquote, root_done };
    state at = state::start;
    velune::environment* environment = nullptr;
    value* rest = nullptr;  // the template, then the part of a list template still to process
    value* accumulated = nullptr;  // the values made so far, most recent first

    // Pushes the sub-computation `native` on the one-element argument list (item).
    void push(Interpreter& in, value* native, value* item) {
        Runtime& rt = in.rt;
        in.push<ResumableNativeCallFrame>(cons(rt, item, rt.nil), environment, as<resumable_native>(native));
    }

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        environment = env;
        arg_list args(in.rt, arguments, "quasiquote");
        rest = args.any(0);
    }

    bool next_step(Interpreter& in) override {
        Runtime& rt = in.rt;
        const QuasiquoteNatives& natives = rt.quasiquote_natives;
        switch (at) {
        case state::start:
            // Atoms, dotted lists included, are the template's own objects.
            if (!is_list(rest)) {
                result = rest;
                return true;
            }
            if (is_unquote(rt, rest)) {
                push(in, natives.unquote, rest);
                at = state::awaiting_root_unquote;
                return false;
            }
            if (is_unquote_splicing(rt, rest)) {
                throw LispError{"Syntax Error: Trying to flatten at the root of a quasiquote: " + describe(rt, rest)};
            }
            accumulated = rt.nil;
            at = state::walking;
            [[fallthrough]];
        case state::walking:
            while (is<cell>(rest)) {
                value* element = as<cell>(rest)->car;
                rest = as<cell>(rest)->cdr;
                // nil and atoms stand for themselves: no sub-computation needed.
                if (element == rt.nil || !is_list(element)) {
                    accumulated = cons(rt, element, accumulated);
                    continue;
                }
                if (is_unquote(rt, element)) {
                    push(in, natives.unquote, element);
                    at = state::awaiting_unquote;
                } else if (is_unquote_splicing(rt, element)) {
                    push(in, natives.unquote_splicing, element);
                    at = state::awaiting_splice;
                } else {
                    push(in, natives.element, element);
                    at = state::awaiting_element;
                }
                return false;
            }
            result = reverse(rt, accumulated);
            return true;
        case state::root_done:
            return true;
        default:
            internal_failure("quasiquote.next_step() while awaiting a value");
        }
    }

    void resume(Interpreter& in, value* v) override {
        Runtime& rt = in.rt;
        switch (at) {
        case state::awaiting_root_unquote:
            result = v;
            at = state::root_done;
            break;
        case state::awaiting_unquote:
        case state::awaiting_element:
            accumulated = cons(rt, v, accumulated);
            at = state::walking;
            break;
        case state::awaiting_splice:
            // unquote-splicing has checked that v is a proper list.
            for (value* item = v; is<cell>(item); item = as<cell>(item)->cdr) {
                accumulated = cons(rt, as<cell>(item)->car, accumulated);
            }
            at = state::walking;
            break;
        default:
            internal_failure("quasiquote.resume() in a state that pushed nothing");
        }
    }

    void trace(Tracer& t) const override {
        t.visit(environment);
        t.visit(rest);
        t.visit(accumulated);
        t.visit(result);
    }
};

// Both yield the value of X in (unquote X) / (unquote-splicing X); quasiquote decides
// what to do with it. A spliced value must be a proper list.
template <bool splicing> class unquote_form final : public resumable_builtin {
    value* form = nullptr;

    static const char* name() { return splicing ? "unquote-splicing" : "unquote"; }

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        form = as<cell>(arguments)->car;
        arg_list args(in.rt, as<cell>(form)->cdr, name());
        in.push<EvalFrame>(env, args.any(0));
    }

    bool next_step(Interpreter&) override { return true; }

    void resume(Interpreter& in, value* v) override {
        if (splicing && !is_list(v)) {
            const Runtime& rt = in.rt;
            throw LispError{describe(rt, form) + ": expects a proper list to splice, got " + describe(rt, v)};
        }
        result = v;
    }

    void trace(Tracer& t) const override {
        t.visit(form);
        t.visit(result);
    }
};

using unquote = unquote_form<false>;
using unquote_splicing = unquote_form<true>;

}  // namespace

builtin_ptr make_quasiquote(StackArena& arena) { return make_builtin<quasiquote>(arena); }
builtin_ptr make_unquote(StackArena& arena) { return make_builtin<unquote>(arena); }
builtin_ptr make_unquote_splicing(StackArena& arena) { return make_builtin<unquote_splicing>(arena); }

}  // namespace velune
