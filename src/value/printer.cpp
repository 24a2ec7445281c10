// The printer: to_string and represent texts, with the dictionary and environment layouts.
#include "value/printer.h"

#include <algorithm>

#include "runtime/format.h"

namespace velune {

namespace {

class Printer {
public:
    // A lenient printer never fails: it describes what has no printed form (for messages).
    Printer(const Runtime& rt, bool lenient, std::string& out) : rt(rt), lenient(lenient), out(out) {}

    void represent(value* v) {
        if (is<cell>(v)) {
            list(v);
        } else {
            atom(v);
        }
    }

    void to_string(value* v) {
        switch (v->kind) {
        case value_kind::string:
            out += as<string>(v)->text;
            return;
        case value_kind::integer:
        case value_kind::floating:
        case value_kind::named_symbol:
        case value_kind::num_symbol:
        case value_kind::unique:
        case value_kind::cell:
            represent(v);
            return;
        default:
            fail("to-string not implemented for type " + text_of(v->type));
        }
    }

private:
    const Runtime& rt;
    bool lenient;
    std::string& out;
    // Nested dictionary and environment entries continue their value's lines under the
    // entry's name: every newline written is followed by this many spaces. Writing the
    // indentation as we go keeps deep nesting linear in the size of the text.
    std::size_t indent = 0;
    std::vector<const value*> open;  // dictionaries and environments being printed
    static constexpr int max_depth = 2000;  // nested dictionaries, environments, functions, classes
    int depth = 0;

    // Text that may hold newlines (strings, names, keys).
    void put(std::string_view text) {
        for (;;) {
            const auto newline = text.find('\n');
            if (newline == std::string_view::npos) {
                out += text;
                return;
            }
            out += text.substr(0, newline + 1);
            out.append(indent, ' ');
            text.remove_prefix(newline + 1);
        }
    }

    void fail(const std::string& message) {
        if (!lenient) throw HostFailure(message);
        put("<" + message + ">");
    }

    std::string text_of(value* v) {
        std::string text;
        Printer(rt, lenient, text).represent(v);
        return text;
    }

    // Lists walk their spine in a loop and keep pending tails on an explicit stack, so a
    // million nesting levels need no host stack.
    void list(value* v) {
        std::vector<value*> tails;
        value* current = v;
        for (;;) {
            while (is<cell>(current)) {
                out += '(';
                tails.push_back(as<cell>(current)->cdr);
                current = as<cell>(current)->car;
            }
            atom(current);
            for (;;) {
                if (tails.empty()) return;
                value*& tail = tails.back();
                if (is<cell>(tail)) {
                    out += ' ';
                    current = as<cell>(tail)->car;
                    tail = as<cell>(tail)->cdr;
                    break;
                }
                if (tail != rt.nil) {
                    if (!lenient) throw HostFailure("cannot print a dotted list (a cell chain that does not end in nil)");
                    out += " . ";
                    atom(tail);
                }
                out += ')';
                tails.pop_back();
            }
        }
    }

    void atom(value* v) {
        switch (v->kind) {
        case value_kind::integer:
            out += format_integer(as<integer>(v)->int_value);
            return;
        case value_kind::floating:
            out += format_float(as<floating>(v)->float_value);
            return;
        case value_kind::named_symbol:
            put(as<named_symbol>(v)->name->text);
            return;
        case value_kind::num_symbol:
            out += "<symbol #" + format_integer(as<num_symbol>(v)->number) + ">";
            return;
        case value_kind::string:
            out += '"';
            put(as<string>(v)->text);
            out += '"';
            return;
        case value_kind::unique:
            out += as<unique>(v)->name;
            return;
        case value_kind::Type:
            out += "<type ";
            out += as<Type>(v)->name;
            out += ">";
            return;
        case value_kind::cell:
            list(v);
            return;
        case value_kind::function:
        case value_kind::hashtable:
        case value_kind::environment:
        case value_kind::Class:
            container(v);
            return;
        case value_kind::resumable_native:
            fail("repr not implemented for type resumable-native");
            return;
        case value_kind::nativefunc:
            fail("repr not implemented for type native-function: (native-function " + as<nativefunc>(v)->name + ")");
            return;
        case value_kind::lispfunc:
            fail("repr not implemented for type lisp-function");
            return;
        case value_kind::instance:
            fail("repr not implemented for an instance of " + text_of(v->type));
            return;
        }
        internal_failure("printer: a value of no known kind (kind number " + format_integer(static_cast<int>(v->kind)) +
                         ")");
    }

    // The kinds whose text holds other values' texts: each level is host recursion, and
    // each nested entry line is longer than the last, so stop long before either gets out
    // of hand.
    void container(value* v) {
        if (depth >= max_depth || rt.stack.exhausted()) {
            fail("cannot print a structure nested this deeply");
            return;
        }
        ++depth;
        switch (v->kind) {
        case value_kind::function:
            function_text(as<function>(v));
            break;
        case value_kind::hashtable:
            nested(v, [this](value* d) { dictionary_text(as<hashtable>(d)); });
            break;
        case value_kind::environment:
            nested(v, [this](value* e) { environment_text(as<environment>(e)); });
            break;
        default:
            class_text(as<Class>(v));
            break;
        }
        --depth;
    }

    // Dictionaries and environments may contain themselves; their layouts recurse.
    template <class Layout> void nested(value* v, Layout layout) {
        if (std::find(open.begin(), open.end(), v) != open.end()) {
            fail(std::string("cannot print a ") + (is<hashtable>(v) ? "dictionary" : "environment") +
                 " that contains itself");
            return;
        }
        open.push_back(v);
        layout(v);
        open.pop_back();
    }

    // One entry of a dictionary or environment on a line of its own: the name, a space and
    // the value, whose further lines are indented by the name's width.
    void entry(const std::string& prefix, value* v) {
        put("\n");
        put(prefix);
        out += ' ';
        const std::size_t outer = indent;
        indent += prefix.size();
        if (v == nullptr) {
            out += "None";
        } else {
            represent(v);
        }
        indent = outer;
    }

    void dictionary_text(hashtable* d) {
        out += "(dict";
        for (const auto& [key, v] : d->table.entries) entry("      " + key, v);
        out += ')';
    }

    void environment_text(environment* e) {
        // Pairs of name text and value; a later pair with the same name replaces the
        // earlier one's value but keeps its place.
        std::vector<std::pair<std::string, value*>> bindings;
        auto add = [&bindings](std::string name, value* v) {
            for (auto& binding : bindings) {
                if (binding.first == name) {
                    binding.second = v;
                    return;
                }
            }
            bindings.emplace_back(std::move(name), v);
        };
        for (const auto& [name, v] : e->names.entries) {
            if (name == rt.known.current_scope && v == e) continue;
            if (name == rt.known.parent_scope && v == e->parent) continue;
            add(name->text, v);
        }
        for (const auto& [number, v] : e->numbered()) add("<symbol #" + format_integer(number) + ">", v);

        out += "(env";
        if (e->parent != nullptr) {
            put("\n     (");
            const std::size_t outer = indent;
            indent += 6;
            represent(e->parent);
            indent = outer;
            out += ')';
        } else {
            out += " ()";
        }
        for (const auto& [name, v] : bindings) entry("     " + name, v);
        out += ')';
    }

    void function_text(function* f) {
        static constexpr const char* wrappers[] = {nullptr, "(with-exec-mode 'macro ", "(with-exec-mode 'no-eval ",
                                                   "(with-exec-mode 'no-expand "};
        const char* wrapper = wrappers[static_cast<int>(f->exec_mode)];
        if (wrapper != nullptr) out += wrapper;
        value* implementation = f->implementation;
        switch (implementation->kind) {
        case value_kind::lispfunc: {
            auto* l = as<lispfunc>(implementation);
            out += "(fn (";
            for (std::size_t i = 0; i < l->parameters.size(); ++i) {
                if (i > 0) out += ' ';
                represent(l->parameters[i]);
            }
            if (l->rest_parameter != nullptr) {
                out += l->parameters.empty() ? ". " : " . ";
                represent(l->rest_parameter);
            }
            out += ") ";
            if (l->body == rt.nil) {
                out += "nil";
            } else {
                // The body list's text without its enclosing parentheses.
                const std::size_t start = out.size();
                list(l->body);
                out.erase(start, 1);
                out.pop_back();
            }
            out += ')';
            break;
        }
        case value_kind::nativefunc:
            put("(native-function " + as<nativefunc>(implementation)->name + ")");
            break;
        case value_kind::resumable_native:
            put("(native-function " + as<resumable_native>(implementation)->name + ")");
            break;
        default:
            internal_failure("printer: a function whose implementation is of no known kind (kind number " +
                             format_integer(static_cast<int>(implementation->kind)) + ")");
        }
        if (wrapper != nullptr) out += ')';
    }

    void class_text(Class* c) {
        out += "(class ";
        if (c->parents.empty()) {
            out += "nil";
        } else {
            out += '(';
            for (std::size_t i = 0; i < c->parents.size(); ++i) {
                if (i > 0) out += ' ';
                represent(c->parents[i]);
            }
            out += ')';
        }
        out += ' ';
        if (c->attributes.empty()) {
            out += "nil";
        } else {
            out += '(';
            for (std::size_t i = 0; i < c->attributes.size(); ++i) {
                if (i > 0) out += ' ';
                put(c->attributes[i]->text);
            }
            out += ')';
        }
        out += ')';
    }
};

}  // namespace

std::string to_string_text(const Runtime& rt, value* v) {
    std::string text;
    Printer(rt, false, text).to_string(v);
    return text;
}

std::string represent_text(const Runtime& rt, value* v) {
    std::string text;
    Printer(rt, false, text).represent(v);
    return text;
}

value* to_string(Runtime& rt, value* v) {
    if (is<string>(v)) return v;  // the very same object
    return make_string(rt, to_string_text(rt, v));
}

value* represent(Runtime& rt, value* v) { return make_string(rt, represent_text(rt, v)); }

std::string describe(const Runtime& rt, value* v) {
    if (v == nullptr) return "None";
    std::string text;
    Printer(rt, true, text).represent(v);
    return text;
}

}  // namespace velune
