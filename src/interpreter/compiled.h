// A Velune function's body read once into nodes. What each form is (a constant, a symbol,
// a call of a named function with so many arguments) depends on the form alone, and forms
// never change, so it is worked out on the first call and kept with the function. Bindings
// are not: every node that names one looks it up when it runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "value/value.h"

namespace velune {

// What the head of a call is where a body runs straight (see node::head).
enum class head_kind : std::uint8_t {
    other,   // unbound, not a function, or a form the ordinary steps run
    native,  // a native, called with the argument values
    lisp,    // a Velune function, likewise
    if_form,
    quote_form
};

struct node {
    enum class kind : std::uint8_t {
        constant,  // evaluates to itself
        symbol,    // a symbol, looked up (by name when it has one)
        call,      // a proper call form headed by a named symbol
        leaf,      // the same with at most four arguments, each a symbol or an atom: its
                   //   values need no slots, and a native takes them at once
        in_place,  // ((fn (a b) body...) x y) with plain parameters, as many as arguments, and
                   //   a body: run where it is written when the head's name means the global fn
        other      // anything else, or nested too deep: an EvalFrame evaluates it
    };
    kind what = kind::other;
    std::uint8_t count = 0;           // call: how many arguments
    // A leaf, or a call headed by the name if, holds no argument values in its level:
    // should the name if mean a function when it runs, the call goes to an EvalFrame.
    bool holds_none = false;
    // Where the node sits, for a body run straight (see compiled_body::straight): its place
    // among its call's arguments or the body's forms, the calls around it (the level its own
    // call takes), and the argument values they hold (where its own level's values start).
    std::uint8_t index = 0;
    std::uint8_t level = 0;
    std::uint16_t base = 0;
    // The body's last step when it runs: in its last form, and every call around it an if
    // (as it is named) of which it is a branch.
    bool last = false;
    // symbol: which parameter of a deferred scope it named when last looked up there (a
    // guess, checked before it is taken: a body may serve functions of other parameters).
    mutable std::uint8_t parameter = UINT8_MAX;
    // call and leaf, in a body run straight: the head as last looked up, and what it is. It
    // stands while its name's version is `head_version`, set only when the lookup went to
    // the global scope, whose bindings change the version (see Name::version); a function's
    // kind and a native's routine never change.
    mutable head_kind head_is = head_kind::other;
    std::uint8_t forms = 0;  // in_place: how many body forms
    mutable std::uint64_t head_version = 0;
    mutable value* head = nullptr;
    value* form = nullptr;            // the expression itself
    const Name* name = nullptr;       // a named symbol: its name; call: its head's
    const node* arguments = nullptr;  // call: `count` nodes in a row
    union {                           // one or the other, by kind: nodes are many
        const node* body = nullptr;   // in_place: `forms` nodes in a row
        mutable fast_path head_fast;  // call and leaf: a native head's routine, if it has one
    };
    const node* parent = nullptr;     // the call it is an argument of; none for a body form
    const struct compiled_body* owner = nullptr;  // the body it is a node of
};

struct compiled_body {
    std::unique_ptr<node[]> nodes;  // the body's forms first, in order
    std::size_t forms = 0;
    // No form is a call with calls inside: each is a constant, a symbol, a leaf, or a form
    // an EvalFrame evaluates anyway, so the caller's frame may as well run the body.
    bool flat = true;
    std::size_t levels = 0;  // the most calls (not leaves) pending at once while one form runs
    std::size_t values = 0;  // the most argument values those calls hold at once
    // No node is bound to need the scope it runs in (a function applied in place, a built-in
    // form such as define or fn as its name meant when the body was read, a form left
    // whole): a call's scope may wait until something does. Only a guess, made once: a
    // deferred scope is made whenever it is needed, and one made at once serves the same.
    bool defers_scope = true;
    // Every node is a constant, a named symbol, a leaf or a call, and the scope may wait: a
    // BodyFrame can run the body without keeping its levels up to date as it goes (each
    // node's place tells what they would be), and writes them out only when it hands the
    // rest of the work to its ordinary steps. Given up (for good) once the body has handed
    // them `misses_allowed` nodes they had to run, which a straight run would only repeat.
    mutable bool straight = false;
    mutable std::uint8_t misses = 0;
    static constexpr std::uint8_t misses_allowed = 8;
};

// For ((fn (a b) body...) x y), a proper form with a body: the number of parameters when
// they are plain (symbols, distinct, neither current-scope nor parent-scope, at most eight) and
// as many as the arguments; -1 otherwise. What the head's name means is for the caller.
int in_place_parameters(const Runtime& rt, value* form);

// `body` is a proper list of expanded expressions.
std::shared_ptr<const compiled_body> compile_body(const Runtime& rt, value* body);
// The same, shared with every live function of the same body. An entry lives no longer
// than the functions holding its reading, and they keep the body alive: a body's address
// cannot be taken by another while its entry answers.
std::shared_ptr<const compiled_body> compiled_for(Runtime& rt, value* body);

}  // namespace velune
