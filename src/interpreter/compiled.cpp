// Reading a body into nodes. The reading recurses on the forms, but never deeper than
// `deepest` calls: a form nested deeper is left whole to an EvalFrame.
#include "interpreter/compiled.h"

#include <algorithm>
#include <vector>

namespace velune {

namespace {

constexpr std::size_t deepest = 24;
constexpr int widest = 16;  // a call with more arguments runs through an EvalFrame

value* first(value* list) { return as<cell>(list)->car; }
value* rest_of(value* list) { return as<cell>(list)->cdr; }

// A call form's argument count when it is proper, headed by a named symbol and has at most
// `widest` arguments; -1 otherwise.
int call_arguments(const Runtime& rt, value* form) {
    if (!is<named_symbol>(first(form))) return -1;
    int count = 0;
    value* rest = rest_of(form);
    for (; is<cell>(rest); rest = rest_of(rest)) {
        if (++count > widest) return -1;
    }
    return rest == rt.nil ? count : -1;
}

// A call whose arguments are all atoms or symbols, few enough for evaluate_now.
bool is_leaf(value* form, int arguments) {
    if (arguments > 4) return false;
    for (value* a = rest_of(form); is<cell>(a); a = rest_of(a)) {
        if (is<cell>(first(a))) return false;
    }
    return true;
}

}  // namespace

int in_place_parameters(const Runtime& rt, value* form) {
    value* head = first(form);
    if (!is<cell>(head) || !is<named_symbol>(first(head))) return -1;
    value* tail = rest_of(head);
    if (!is<cell>(tail) || !is<cell>(rest_of(tail))) return -1;  // parameters and a body
    value* end = rest_of(tail);
    while (is<cell>(end)) end = rest_of(end);
    if (end != rt.nil) return -1;
    value* parameters[8];
    int count = 0;
    value* p = first(tail);
    for (; is<cell>(p); p = rest_of(p)) {
        value* parameter = first(p);
        if (count == 8) return -1;
        if (is<named_symbol>(parameter)) {
            const Name* name = as<named_symbol>(parameter)->name;
            if (name->scope_role != 0 || name == rt.known.dot) return -1;
        } else if (!is<num_symbol>(parameter)) {  // a generated symbol is as plain as a name
            return -1;
        }
        for (int i = 0; i < count; ++i) {
            if (symbol_equal(parameters[i], parameter)) return -1;
        }
        parameters[count++] = parameter;
    }
    if (p != rt.nil) return -1;
    int arguments = 0;
    value* a = rest_of(form);
    for (; is<cell>(a); a = rest_of(a)) ++arguments;
    return a == rt.nil && arguments == count ? count : -1;
}

namespace {

// in_place_parameters, for a body of at most 255 forms (what a level counts); -1 otherwise.
int readable_in_place(const Runtime& rt, value* form) {
    const int parameters = in_place_parameters(rt, form);
    if (parameters < 0) return -1;
    int forms = 0;
    for (value* b = rest_of(rest_of(first(form))); is<cell>(b); b = rest_of(b)) {
        if (++forms > 255) return -1;
    }
    return parameters;
}

class reader {
public:
    explicit reader(const Runtime& rt) : rt(rt) {}

    std::size_t count(value* form, std::size_t depth) const {
        if (!is<cell>(form) || depth == deepest) return 1;
        if (readable_in_place(rt, form) >= 0) {
            std::size_t total = 1;
            for (value* a = rest_of(form); is<cell>(a); a = rest_of(a)) total += count(first(a), depth + 1);
            for (value* b = rest_of(rest_of(first(form))); is<cell>(b); b = rest_of(b)) total += count(first(b), depth + 1);
            return total;
        }
        const int arguments = call_arguments(rt, form);
        if (arguments < 0) return 1;
        std::size_t total = 1;
        for (value* a = rest_of(form); is<cell>(a); a = rest_of(a)) total += count(first(a), depth + 1);
        return total;
    }

    // Fills `n` for `form`; its arguments take the next free nodes. `held` is how many
    // argument values the calls around it hold.
    void fill(node& n, value* form, std::size_t depth, std::size_t held, const node* parent, std::size_t index) {
        n.form = form;
        n.parent = parent;
        n.index = static_cast<std::uint8_t>(index);  // a body of more forms is not run straight
        n.level = static_cast<std::uint8_t>(depth);
        n.base = static_cast<std::uint16_t>(held);
        if (is<named_symbol>(form) || is<num_symbol>(form)) {
            n.what = node::kind::symbol;
            if (is<named_symbol>(form)) {
                n.name = as<named_symbol>(form)->name;
                if (n.name->scope_role != 0) straight = false;
            } else {
                straight = false;
            }
            return;
        }
        if (!is<cell>(form)) {
            n.what = node::kind::constant;
            return;
        }
        if (depth == deepest) {
            wants_scope = true;
            straight = false;
            return;
        }
        if (const int parameters = readable_in_place(rt, form); parameters >= 0) {
            fill_in_place(n, form, depth, held, parameters);
            return;
        }
        const int arguments = call_arguments(rt, form);
        if (arguments < 0) {
            wants_scope = true;
            straight = false;
            return;
        }
        n.count = static_cast<std::uint8_t>(arguments);
        n.name = as<named_symbol>(first(form))->name;
        if (is_scoped_form(n.name->global_value)) wants_scope = true;
        const bool leaf = is_leaf(form, arguments);
        n.what = leaf ? node::kind::leaf : node::kind::call;
        n.holds_none = leaf || n.name->text == "if";
        // A leaf if goes to an EvalFrame whatever runs it, as does one without a branch.
        if (n.name->text == "if" && (leaf || arguments < 2)) straight = false;
        node* row = &nodes[next];
        n.arguments = row;
        next += static_cast<std::size_t>(arguments);
        const std::size_t holding = held + (n.holds_none ? 0 : static_cast<std::size_t>(arguments));
        // A leaf takes a level only to call a Velune function, and only where the frame has
        // one to spare: it reserves none.
        if (!leaf) levels = std::max(levels, depth + 1);
        values = std::max(values, holding);
        std::size_t i = 0;
        for (value* a = rest_of(form); is<cell>(a); a = rest_of(a)) {
            fill(row[i], first(a), depth + 1, holding, &n, i);
            ++i;
        }
    }

    void fill_in_place(node& n, value* form, std::size_t depth, std::size_t held, int parameters) {
        value* head = first(form);
        wants_scope = true;  // the body's scope is inside the call's
        straight = false;
        n.what = node::kind::in_place;
        n.name = as<named_symbol>(first(head))->name;
        n.count = static_cast<std::uint8_t>(parameters);
        node* row = &nodes[next];
        n.arguments = row;
        next += static_cast<std::size_t>(parameters);
        std::size_t forms = 0;
        for (value* b = rest_of(rest_of(head)); is<cell>(b); b = rest_of(b)) ++forms;
        node* body = &nodes[next];
        n.body = body;
        n.forms = static_cast<std::uint8_t>(forms);
        next += forms;
        // The argument values keep their slots while the body runs.
        const std::size_t holding = held + static_cast<std::size_t>(parameters);
        levels = std::max(levels, depth + 1);
        values = std::max(values, holding);
        std::size_t i = 0;
        for (value* a = rest_of(form); is<cell>(a); a = rest_of(a)) {
            fill(row[i], first(a), depth + 1, holding, &n, i);
            ++i;
        }
        i = 0;
        for (value* b = rest_of(rest_of(head)); is<cell>(b); b = rest_of(b)) {
            fill(body[i], first(b), depth + 1, holding, &n, i);
            ++i;
        }
    }

    // Whether a node will likely need the scope it runs in itself (see compiled_body).
    bool wants_scope = false;
    bool straight = true;  // see compiled_body::straight

    // A built-in form other than if and quote (define, fn, for, ...), as a name means now:
    // it is given the scope.
    bool is_scoped_form(const value* v) const {
        if (v == nullptr || !is<velune::function>(v)) return false;
        const auto* f = as<velune::function>(v);
        return f->exec_mode != exec_mode::function && f->implementation != rt.if_form && f->implementation != rt.quote_form;
    }

    const Runtime& rt;
    node* nodes = nullptr;
    std::size_t next = 0;
    std::size_t levels = 0;
    std::size_t values = 0;
};

}  // namespace

std::shared_ptr<const compiled_body> compile_body(const Runtime& rt, value* body) {
    reader r(rt);
    std::size_t forms = 0;
    std::size_t total = 0;
    for (value* b = body; is<cell>(b); b = rest_of(b)) {
        ++forms;
        total += r.count(first(b), 0);
    }
    auto code = std::make_shared<compiled_body>();
    code->nodes = std::make_unique<node[]>(total);
    code->forms = forms;
    r.nodes = code->nodes.get();
    r.next = forms;
    std::size_t i = 0;
    for (value* b = body; is<cell>(b); b = rest_of(b)) {
        node& n = code->nodes[i++];
        r.fill(n, first(b), 0, 0, nullptr, i - 1);
        if (n.what == node::kind::call || n.what == node::kind::in_place) code->flat = false;
    }
    for (std::size_t j = 0; j < total; ++j) {
        node& n = code->nodes[j];
        n.owner = code.get();
        // A node's parent comes before it, so its `last` is known.
        n.last = n.parent == nullptr ? n.index + 1u == forms : n.parent->last && n.parent->holds_none && n.index > 0;
    }
    code->levels = r.levels;
    code->values = r.values;
    code->defers_scope = !r.wants_scope;
    code->straight = rt.fast_paths && r.straight && code->defers_scope && forms > 0 && forms <= UINT8_MAX;
    return code;
}

std::shared_ptr<const compiled_body> compiled_for(Runtime& rt, value* body) {
    auto& known = rt.compiled_bodies;
    if (auto found = known.find(body); found != known.end()) {
        if (auto code = found->second.lock()) return code;
    }
    auto code = compile_body(rt, body);
    if (known.size() >= rt.compiled_prune_at) {
        std::erase_if(known, [](const auto& entry) { return entry.second.expired(); });
        rt.compiled_prune_at = std::max<std::size_t>(1024, 2 * known.size());
    }
    known[body] = code;
    return code;
}

}  // namespace velune
