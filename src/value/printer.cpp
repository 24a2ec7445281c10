// The printer: to_string and represent texts, with the dictionary and environment layouts.
#include "value/printer.h"

#include <algorithm>

#include "runtime/format.h"

namespace velune {

namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto newline = text.find('\n');
        pieces.push_back(text.substr(0, newline));
        if (newline == std::string_view::npos) return pieces;
        text.remove_prefix(newline + 1);
    }
}

// One entry of a dictionary or environment: the value's text indented under its name.
void append_entry(std::vector<std::string>& lines, const std::string& prefix, std::string_view value_text) {
    const auto pieces = split_lines(value_text);
    lines.push_back(prefix + " " + std::string(pieces[0]));
    for (std::size_t i = 1; i < pieces.size(); ++i) {
        lines.push_back(std::string(prefix.size(), ' ') + std::string(pieces[i]));
    }
}

std::string join_lines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

class Printer {
public:
    // A lenient printer never fails: it describes what has no printed form (for messages).
    Printer(const Runtime& rt, bool lenient) : rt(rt), lenient(lenient) {}

    void represent(value* v, std::string& out) {
        if (is<cell>(v)) {
            list(v, out);
        } else {
            atom(v, out);
        }
    }

    void to_string(value* v, std::string& out) {
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
            represent(v, out);
            return;
        default:
            fail("to-string not implemented for type " + text_of(v->type), out);
        }
    }

private:
    const Runtime& rt;
    bool lenient;
    std::vector<const value*> open;  // dictionaries and environments being printed

    void fail(const std::string& message, std::string& out) {
        if (!lenient) throw HostFailure(message);
        out += "<" + message + ">";
    }

    std::string text_of(value* v) {
        std::string text;
        represent(v, text);
        return text;
    }

    // Lists walk their spine in a loop and keep pending tails on an explicit stack, so a
    // million nesting levels need no host stack.
    void list(value* v, std::string& out) {
        std::vector<value*> tails;
        value* current = v;
        for (;;) {
            while (is<cell>(current)) {
                out += '(';
                tails.push_back(as<cell>(current)->cdr);
                current = as<cell>(current)->car;
            }
            atom(current, out);
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
                    atom(tail, out);
                }
                out += ')';
                tails.pop_back();
            }
        }
    }

    void atom(value* v, std::string& out) {
        const bool recursive = v->kind == value_kind::function || v->kind == value_kind::hashtable ||
                               v->kind == value_kind::environment || v->kind == value_kind::Class;
        if (recursive && rt.stack.exhausted()) {
            fail("cannot print a structure nested this deeply", out);
            return;
        }
        switch (v->kind) {
        case value_kind::integer:
            out += format_integer(as<integer>(v)->int_value);
            return;
        case value_kind::floating:
            out += format_float(as<floating>(v)->float_value);
            return;
        case value_kind::named_symbol:
            out += as<named_symbol>(v)->name->text;
            return;
        case value_kind::num_symbol:
            out += "<symbol #" + format_integer(as<num_symbol>(v)->number) + ">";
            return;
        case value_kind::string:
            out += '"';
            out += as<string>(v)->text;
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
            list(v, out);
            return;
        case value_kind::function:
            function_text(as<function>(v), out);
            return;
        case value_kind::hashtable:
            nested(v, out, [this](value* d) { return dictionary_text(as<hashtable>(d)); });
            return;
        case value_kind::environment:
            nested(v, out, [this](value* e) { return environment_text(as<environment>(e)); });
            return;
        case value_kind::Class:
            class_text(as<Class>(v), out);
            return;
        case value_kind::resumable_native:
            fail("repr not implemented for type resumable-native", out);
            return;
        case value_kind::nativefunc:
            fail("repr not implemented for type native-function: (native-function " + as<nativefunc>(v)->name + ")", out);
            return;
        case value_kind::lispfunc:
            fail("repr not implemented for type lisp-function", out);
            return;
        case value_kind::instance:
            fail("repr not implemented for an instance of " + text_of(v->type), out);
            return;
        }
        internal_failure("printer: a value of no known kind");
    }

    // Dictionaries and environments may contain themselves; their layouts recurse.
    template <class Layout> void nested(value* v, std::string& out, Layout layout) {
        if (std::find(open.begin(), open.end(), v) != open.end()) {
            fail(std::string("cannot print a ") + (is<hashtable>(v) ? "dictionary" : "environment") +
                     " that contains itself",
                 out);
            return;
        }
        open.push_back(v);
        try {
            out += layout(v);
        } catch (...) {
            open.pop_back();
            throw;
        }
        open.pop_back();
    }

    std::string dictionary_text(hashtable* d) {
        std::vector<std::string> lines;
        for (const auto& [key, v] : d->table.entries) append_entry(lines, "      " + key, text_of(v));
        if (lines.empty()) return "(dict)";
        return "(dict\n" + join_lines(lines) + ")";
    }

    std::string environment_text(environment* e) {
        // Pairs of name text and value text; a later pair with the same name replaces the
        // earlier one's value but keeps its place.
        std::vector<std::pair<std::string, std::string>> bindings;
        auto add = [&bindings](std::string name, std::string text) {
            for (auto& binding : bindings) {
                if (binding.first == name) {
                    binding.second = std::move(text);
                    return;
                }
            }
            bindings.emplace_back(std::move(name), std::move(text));
        };
        for (const auto& [name, v] : e->names.entries) {
            if (name == rt.known.current_scope && v == e) continue;
            if (name == rt.known.parent_scope && v == e->parent) continue;
            add(name->text, v == nullptr ? "None" : text_of(v));
        }
        for (const auto& [number, v] : e->numbers.entries) {
            add("<symbol #" + format_integer(number) + ">", v == nullptr ? "None" : text_of(v));
        }

        std::vector<std::string> lines;
        if (e->parent != nullptr) {
            const std::string parent_text = text_of(e->parent);
            const auto pieces = split_lines(parent_text);
            if (pieces.size() == 1) {
                lines.push_back("     (" + std::string(pieces[0]) + ")");
            } else {
                lines.push_back("     (" + std::string(pieces.front()));
                for (std::size_t i = 1; i + 1 < pieces.size(); ++i) lines.push_back("      " + std::string(pieces[i]));
                lines.push_back("      " + std::string(pieces.back()) + ")");
            }
        }
        for (const auto& [name, text] : bindings) append_entry(lines, "     " + name, text);
        const std::string text = join_lines(lines);
        if (e->parent != nullptr) return "(env\n" + text + ")";
        return text.empty() ? "(env ())" : "(env ()\n" + text + ")";
    }

    void function_text(function* f, std::string& out) {
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
                represent(l->parameters[i], out);
            }
            if (l->rest_parameter != nullptr) {
                out += l->parameters.empty() ? ". " : " . ";
                represent(l->rest_parameter, out);
            }
            out += ") ";
            if (l->body == rt.nil) {
                out += "nil";
            } else {
                // The body list's text without its enclosing parentheses.
                const std::string body = text_of(l->body);
                out.append(body, 1, body.size() - 2);
            }
            out += ')';
            break;
        }
        case value_kind::nativefunc:
            out += "(native-function " + as<nativefunc>(implementation)->name + ")";
            break;
        case value_kind::resumable_native:
            out += "(native-function " + as<resumable_native>(implementation)->name + ")";
            break;
        default:
            internal_failure("printer: a function whose implementation is of no known kind");
        }
        if (wrapper != nullptr) out += ')';
    }

    void class_text(Class* c, std::string& out) {
        out += "(class ";
        if (c->parents.empty()) {
            out += "nil";
        } else {
            out += '(';
            for (std::size_t i = 0; i < c->parents.size(); ++i) {
                if (i > 0) out += ' ';
                represent(c->parents[i], out);
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
                out += c->attributes[i]->text;
            }
            out += ')';
        }
        out += ')';
    }
};

}  // namespace

std::string to_string_text(const Runtime& rt, value* v) {
    std::string text;
    Printer(rt, false).to_string(v, text);
    return text;
}

std::string represent_text(const Runtime& rt, value* v) {
    std::string text;
    Printer(rt, false).represent(v, text);
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
    Printer(rt, true).represent(v, text);
    return text;
}

}  // namespace velune
