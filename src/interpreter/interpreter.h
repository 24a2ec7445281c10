// The frame machine: Interpreter, the frames, the resumable-builtin interface, the
// nested runs and do_string. Evaluation never recurses on the host stack.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "value/value.h"

namespace velune {

class Interpreter;

class Frame {
public:
    virtual ~Frame() = default;
    // One trace line, or several for a frame that stands for several (joined by newlines,
    // bottom first).
    virtual std::string display(const Runtime& rt) const = 0;
    // Advances one step, pushing at most one child; true once `result` is known.
    virtual bool next_step(Interpreter& in) = 0;
    // Receives the value of the child that has just finished.
    virtual void resume(Interpreter& in, value* v) = 0;
    virtual void trace(Tracer& t) const = 0;

    value* finish() const { return result; }

    value* result = nullptr;
    // Frames whose members own nothing say so (`plain`); popping them skips the destructor.
    static constexpr bool plain = false;
    bool owns_nothing = false;
    // The bytes after this flag are free: frames put their state there.
};

// One object per call of a special form, driven by its ResumableNativeCallFrame.
class resumable_builtin {
public:
    virtual ~resumable_builtin() = default;
    // May push one frame onto `in`.
    virtual void init(Interpreter& in, velune::environment* env, value* arguments) = 0;
    // True when finished; false after pushing one frame (or to be asked again).
    virtual bool next_step(Interpreter& in) = 0;
    virtual void resume(Interpreter& in, value* v) = 0;
    virtual void trace(Tracer& t) const = 0;

    value* result = nullptr;  // nullptr reads as nil (define has no result)
};

// Special-form objects live on the runtime's frame stack, like the frames around them.
struct arena_deleter {
    StackArena* arena;
    void operator()(resumable_builtin* object) const noexcept {
        object->~resumable_builtin();
        arena->release(object);
    }
};
using builtin_ptr = std::unique_ptr<resumable_builtin, arena_deleter>;

template <class T> builtin_ptr make_builtin(StackArena& arena) {
    return builtin_ptr(arena.make<T>(), arena_deleter{&arena});
}

class Interpreter final : public root_source {
public:
    explicit Interpreter(Runtime& rt);
    ~Interpreter() override;
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    Runtime& rt;
    // Owned, on rt.frame_stack: each goes back when popped or when the run is abandoned.
    std::vector<Frame*> frames;

    template <class F, class... Args> F* push(Args&&... args) { return push_sized<F>(0, std::forward<Args>(args)...); }
    // A frame with `extra` bytes of its own after it.
    template <class F, class... Args> F* push_sized(std::size_t extra, Args&&... args) {
        F* frame = rt.frame_stack.make_sized<F>(extra, std::forward<Args>(args)...);
        frame->owns_nothing = F::plain;
        try {
            frames.push_back(frame);
        } catch (...) {
            drop(frame);
            throw;
        }
        return frame;
    }
    // Steps until no frame is left; returns the root frame's value. Failures escape with
    // the frames exactly as they were, for the trace.
    value* run();
    // One iteration of the loop; true when no frame is left.
    bool next_step();
    // The frames' lines, bottom first, joined with newlines; "(nothing to do)" when empty.
    std::string display() const;

    void trace_roots(Tracer& t) const override;

    // A native's argument list while a step calls it: the native may start a nested run.
    value* pending_arguments = nullptr;

private:
    value* last_result = nullptr;  // the root's value once it has been popped
    // The frames under the fewest the stack has held since the last collection are as that
    // collection traced them: everything they refer to is old, so a minor one skips them.
    // visits_below[i] is what tracing frames 0..i-1 visits, themselves and not what they lead to.
    mutable std::size_t fewest = 0;
    mutable std::vector<std::size_t> visits_below;

    void drop(Frame* frame) noexcept {
        if (!frame->owns_nothing) frame->~Frame();
        rt.frame_stack.release(frame);
    }
    // Pops the top frame and returns its value.
    value* pop() {
        Frame* top = frames.back();
        frames.pop_back();
        if (frames.size() < fewest) fewest = frames.size();
        value* v = top->finish();
        drop(top);
        return v;
    }
};

// The value of `expression` when it needs no frame of its own: an atom, a bound symbol, or
// a call of a plain native whose arguments are atoms and bound symbols. nullptr otherwise:
// the caller pushes an EvalFrame, which evaluates it in full (and reports what fails).
// `head`, when given, receives the function a call form's head symbol names (looked up on
// the way), so that the EvalFrame pushed next need not look it up again.
value* evaluate_now(Interpreter& in, velune::environment* env, value* expression, value** head = nullptr);
// A native's own entry on a fresh argument list, for the call form `expression`; when it
// fails, an EvalFrame is pushed that shows the lines the call's own frames would have.
value* call_native_now(Interpreter& in, velune::environment* env, value* expression, velune::function* f,
                       value* arguments);
// evaluate_now, or else an EvalFrame pushed for the expression (nullptr then).
value* evaluate_or_push(Interpreter& in, velune::environment* env, value* expression);

// The branch an `if` takes for a condition value; LispError for a non-boolean one.
value* if_branch(const Runtime& rt, value* condition, value* v, value* then_branch, value* else_branch);

// ---- the frames ----

// A call or an if whose last step is a frame's expression: the frame took over from them
// instead of pushing a child, and shows their lines below its own. Kept on the frame stack
// just above the frame, newest first.
struct tail_of {
    value* form;
    value* function;  // a Velune function (its body), the global if, or a body list
    tail_of* below;
    // A loop of tail calls takes over with the same records on every turn: the newest record
    // of such a group counts the turns after the first, so the lines of a long loop take
    // constant room. `span` is how many records the group has (this one and those under it,
    // which have none of their own), 0 when this one heads none.
    std::uint32_t repeats = 0;
    std::uint32_t span = 0;
};
struct tail_record {
    value* form;
    value* function;
};
// Puts the `count` records of one take-over (`record_at(i)`, oldest first) above `outer`, or
// counts one more turn when the newest records are those same ones; returns the newest.
template <class Record> tail_of* push_tail(StackArena& arena, tail_of* outer, std::size_t count, Record record_at) {
    if (outer != nullptr && count > 0 && (outer->span == 0 || outer->span == count) && outer->repeats < UINT32_MAX) {
        const tail_of* t = outer;
        std::size_t i = count;
        for (; i > 0 && t != nullptr && (t == outer || t->span == 0); --i, t = t->below) {
            const tail_record r = record_at(i - 1);
            if (t->form != r.form || t->function != r.function) break;
        }
        if (i == 0) {
            outer->span = static_cast<std::uint32_t>(count);
            ++outer->repeats;
            return outer;
        }
    }
    for (std::size_t i = 0; i < count; ++i) {
        const tail_record r = record_at(i);
        outer = arena.make<tail_of>(tail_of{r.form, r.function, outer});
    }
    return outer;
}
// The lines of the frames a tail_of stands for, bottom first: "EvalFrame: F", "CallFrame: F",
// and the ExecFrame of the function's body (or of the body list), or the form's
// ResumableNativeCallFrame.
std::string call_lines(const Runtime& rt, const std::string& form, value* function);
// The lines of every tail_of from `newest` down, oldest first, each ending in a newline.
std::string tail_lines(const Runtime& rt, const tail_of* newest);
// Visits what every tail_of from `newest` down refers to.
void trace_tails(Tracer& t, const tail_of* newest);

// Evaluates one expression. A call runs inside this one frame as far as it can: the
// arguments, a native, a Velune function's body and the global `if` need no frames of their
// own, and the frame displays the lines of the frames it stands for at each point.
class EvalFrame final : public Frame {
public:
    static constexpr bool plain = true;
    EvalFrame(velune::environment* env, value* expression) : environment(env), expression(expression) {}
    // A frame pushed for a call form whose head value is already known.
    void head_is(value* head) {
        function = head;
        at = state::head_known;
    }
    // A frame pushed for a call of a generic whose argument values another frame has
    // evaluated, as this one would have: it goes on from there, choosing the method.
    void arguments_are(value* head, value* values, value* nil) {
        function = head;
        gathered = values;
        remaining = nil;
        at = state::arguments;
    }
    // A frame pushed only for the trace, when a native called without one has failed: it
    // shows the lines of the frames the native's call would have had.
    void failed_native(value* function_value, value* arguments) {
        at = state::native;
        function = function_value;
        gathered = arguments;
    }
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter& in, value* v) override;
    void trace(Tracer& t) const override;

private:
    enum class state : std::uint8_t {
        start,           // nothing done yet
        head,            // awaiting the head's value
        head_known,      // `function` holds it
        arguments,       // evaluating arguments (stands for an EvalArgsFrame)
        call,            // a CallFrame of its own is running the call
        calling,         // checking a Velune function's arguments (stands for a CallFrame)
        native,          // a native is running (stands for a CallFrame and a NativeCallFrame)
        body,            // running a Velune function's body (a CallFrame and an ExecFrame)
        bodied,          // a BodyFrame runs the function's body (stands for a CallFrame)
        if_condition,    // the global if: awaiting its condition (a CallFrame and a
        if_branch,       //   ResumableNativeCallFrame), then its branch's value
        setting,         // in a body, awaiting x of (set-symbol (quote name) x) (stands for
                         //   that form's EvalFrame and EvalArgsFrame above the body's lines)
        assigning,       // awaiting x of the frame's own (set-symbol (quote name) x) (stands
                         //   for an EvalArgsFrame)
        done
    };
    // First, so that they fit in the padding after the base: 72 bytes in all.
    state at = state::start;
    // A native with a fast path and two arguments: the values wait in `gathered` and `last`,
    // and become a list only if the fast path declines.
    bool held = false;
    std::uint32_t bound = 0;  // parameters bound (or values held) so far
    velune::environment* environment;
    value* expression;
    value* function = nullptr;
    value* remaining = nullptr;  // arguments or body expressions not yet evaluated; a branch
    value* gathered = nullptr;   // the argument values (a list) or the call's scope
    value* last = nullptr;  // the argument list's last cell, to append in place; a held value
    tail_of* outer = nullptr;  // newest first; on the frame stack just above the frame

    bool start_call(Interpreter& in);
    bool start_in_place(Interpreter& in);
    bool evaluate_arguments(Interpreter& in);
    bool call_function(Interpreter& in);
    bool run_body(Interpreter& in);
    bool start_setting(Interpreter& in, velune::environment* scope, velune::function* setter);
    void finish_setting(Interpreter& in, value* v);
    bool start_assigning(Interpreter& in);
    bool finish_assigning(Interpreter& in, value* v);
    bool run_method(Interpreter& in, const chosen_method& chosen);
    bool take_branch(Interpreter& in, value* branch);
    bool take_over(Interpreter& in, velune::environment* env, value* last_expression, value* head);
    void gather(Runtime& rt, value* v);
};

struct compiled_body;
struct node;
enum class head_kind : std::uint8_t;

// Runs a Velune function's body from its nodes (compiled.h), in the call's scope. A call of
// a native, of the global if or quote, of a library function's native routine or of a Velune
// function with plain parameters goes on inside this frame, or in the frame of the function
// called; anything else is handed whole to an EvalFrame. Each pending call is a level, and
// the frame shows in a trace the lines of the frames the levels stand for, below the body's
// ExecFrame line. Fast paths only: with them off, bodies run in ExecFrames and EvalFrames.
class BodyFrame final : public Frame {
public:
    static constexpr bool plain = true;
    BodyFrame(velune::environment* scope, lispfunc* function, value* nil) : current(scope), free_scope(scope), function(function) {
        result = nil;
    }
    // Pushes the frame that runs `function`'s body in `scope`, reading the body first if no
    // call has yet.
    static void push(Interpreter& in, velune::environment* scope, lispfunc* function);
    // The same for a call of a function with plain parameters alone, its scope deferred.
    static void push_deferred(Interpreter& in, lispfunc* function, value* const* arguments, std::size_t count);
    // The same for a call a built-in form makes without a form of its own (the for loop's
    // iterator): `called_as` is what that call's CallFrame line shows, under the body's.
    static void push_called(Interpreter& in, velune::environment* scope, lispfunc* function, value* called_as);
    // Whether `function`'s body is better run in a BodyFrame than in its caller's EvalFrame:
    // not when every form is an atom, a symbol or a leaf call (reading the body if need be).
    static bool worth_a_frame(Runtime& rt, lispfunc* function);
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    // A child's value waits in `result`, which holds nothing else the frame still needs: a
    // form's value is wanted only once the form is done, and then it is the new one.
    void resume(Interpreter&, value* v) override { result = v; }
    void trace(Tracer& t) const override;

private:
    enum class state : std::uint8_t {
        arguments,  // evaluating the call's arguments (stands for an EvalFrame and an EvalArgsFrame)
        condition,  // the global if, its condition, then
        branch,     //   its branch (an EvalFrame, a CallFrame and a ResumableNativeCallFrame)
        native,     // a native is running (an EvalFrame, a CallFrame and a NativeCallFrame)
        body,       // a Velune function's BodyFrame is running (an EvalFrame and a CallFrame)
        call,       // a CallFrame is running the call (an EvalFrame)
        inner,      // a function applied in place is running its body in a scope of its own
                    //   (an EvalFrame, a CallFrame and an ExecFrame)
        callee,     // a Velune function's body is running here, in the call's scope (the same
                    //   three lines); its function value is in the first slot
        deferred,   // the same before its scope is made: the argument values follow the
                    //   function value in its slots until something needs the scope itself
        handed      // an EvalFrame of its own, given the argument values, makes a generic's
                    //   call (no lines: that frame shows them all)
    };
    // Room kept above a body's own needs, so that the bodies it calls run in the same frame
    // (a recursion fills a frame before it pushes the next).
    static constexpr std::size_t spare_levels = 32, spare_values = 48;
    struct level {
        const node* call;
        value* function;  // the head's value, looked up before the arguments; inner and
                          //   callee: the scope to return to
        state at;
        std::uint8_t next;   // arguments evaluated so far, the list then in the first slot;
                             //   inner and callee: the body form being evaluated
        std::uint8_t slots;  // argument values it holds: its count, or none for the if
        std::uint8_t forms;  // callee: how many forms its body has
        std::uint16_t base;  // where they start
        std::uint16_t caller;  // callee, deferred: the level whose deferred scope to return to,
                               //   when `function` is nullptr
    };
    // First, so that they fit in the padding after the base.
    bool started = false;
    std::uint16_t depth = 0;     // levels pending
    std::uint32_t position = 0;  // the body form being evaluated
    // Levels there is room for: the body's own and the spare ones. A frame runs only bodies
    // of one reading (take_over requires it), so the argument values always start there.
    std::uint32_t room = 0;
    std::uint32_t value_room = 0;  // argument values there is room for, likewise
    // Where nodes run: the call's scope, or the innermost inner level's; nullptr while the
    // innermost scope, a callee level's or the frame's own, is deferred (see `scope`).
    velune::environment* current;
    // The frame's own scope may be deferred as a callee level's is: its values are then in
    // the first of the `own_room` slots kept for them, under the levels' ones.
    std::uint16_t own_room = 0;
    std::uint8_t own_count = 0;
    bool own_deferred = false;
    static constexpr std::uint16_t frame_scope = UINT16_MAX;  // a deferred_level: the frame's own
    // The deferred level while `current` is nullptr: its function, its parameters' names
    // and its argument values (set by defer_to, read only then).
    lispfunc* deferred_callee;
    const Name* const* deferred_names;
    value** deferred_values;
    std::uint16_t deferred_level = 0;  // also what a callee level begun in a made scope keeps
    std::uint8_t deferred_count;
    // Where the names no scope with a parent binds are looked up: `current`, or the deferred
    // scope's closure, which answers for them as that scope would.
    velune::environment* free_scope;
    lispfunc* function;  // whose body this is; it owns the nodes
    // The calls this frame took over as tail calls of the same body, and the levels they
    // were made from: their lines come between the body's ExecFrame line and the levels.
    tail_of* outer = nullptr;
    value* called_as = nullptr;  // see push_called
    // The levels and then the argument values follow the frame in the same allocation.
    level* levels() { return reinterpret_cast<level*>(this + 1); }
    const level* levels() const { return reinterpret_cast<const level*>(this + 1); }
    std::size_t level_room() const { return room; }
    value** values() { return reinterpret_cast<value**>(levels() + room); }
    value* const* values() const { return reinterpret_cast<value* const*>(levels() + room); }
    lispfunc* callee_of(const level& l) const;

    bool run(Interpreter& in, const node* n, value* v);
    bool run_straight(Interpreter& in, const node*& n, value*& v);
    bool straight_from(Interpreter& in, const node*& n, value*& v);
    bool straight_call(Runtime& rt, lispfunc* callee, std::size_t count, bool may_take_over) const;
    struct ends {
        const char* levels;
        const char* values;
    };
    ends room_ends();
    static bool fits(const lispfunc* callee, const level* l, value* const* end, const ends& room_end);
    static void missed(const compiled_body* code);
    void defer_callee(level& top, std::size_t index, value** slots, velune::function* head, lispfunc* callee,
                      value* const* arguments, std::size_t count);
    const node* enter_straight(Runtime& rt, level* l, const node* call, value** base, velune::function* head,
                               lispfunc* callee, value* const* arguments, std::size_t count, value* const* slots);
    static value* answer_now(Runtime& rt, value* implementation, value* const* arguments, std::size_t count,
                             lispfunc*& callee);
    void write_levels(const node* at, const level* own, value* const* own_values, const level* bottom);
    bool straight_levels(const node* n, const level* own) const;
    bool hand_over(Interpreter& in, const node* n, value* head);
    bool apply_generic(Interpreter& in, level& top, value*& v);
    bool read_or_hand_over(Interpreter& in, const node* n, velune::function* f, value* const* arguments, value*& v);
    bool apply(Interpreter& in, level& top, value*& v, const node*& next);
    void open(const node* call, value* head, state at);
    value* hold_list(Runtime& rt, level& top);
    bool run_leaf(Interpreter& in, const node* n, velune::function* f, value*& v, const node*& next);
    bool leaf_arguments(Runtime& rt, const node* n, value** arguments);
    bool quick_leaf(Runtime& rt, const node* n, value*& v);
    value* leaf_value(Runtime& rt, const node& a);
    bool leaf_values(Runtime& rt, const node* n, value** arguments);
    bool has_room(const compiled_body& callee, std::size_t levels, std::size_t values) const;
    const node* begin_callee(Runtime& rt, std::size_t index, velune::function* head, lispfunc* callee,
                             value* const* arguments, std::size_t count);
    value* symbol_value(Runtime& rt, const node* n);
    head_kind look_up_head(Runtime& rt, const node* n);
    head_kind head_of(Runtime& rt, const node* n);
    value* lookup_name(Runtime& rt, const Name* name);
    value* deferred_lookup(Runtime& rt, const Name* name);
    velune::environment* scope(Runtime& rt);
    void make_deferred_scope(Runtime& rt);
    void defer_to(std::size_t index, value** slots);
    void defer_to(std::size_t index) { defer_to(index, values()); }
    void defer_own(value* const* arguments, std::size_t count);
    static BodyFrame* make(Interpreter& in, velune::environment* scope, lispfunc* function);
    const node* enter(Runtime& rt, level& top);
    void leave();
    void return_from_callee();
    bool takes_over(lispfunc* callee, std::size_t below) const;
    void take_over(Interpreter& in, std::size_t below, value* form, value* callee_value, lispfunc* callee,
                   value* const* arguments, std::size_t count);
    void call(Interpreter& in, lispfunc* f, value* const* arguments, std::size_t count);
};

class CallFrame final : public Frame {
public:
    static constexpr bool plain = true;
    // `expression` is the call form for the trace, nil when there is none.
    CallFrame(value* function, value* arguments, value* expression, velune::environment* env)
        : function(function), arguments(arguments), expression(expression), environment(env) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter&, value* v) override { result = v; }
    void trace(Tracer& t) const override;

private:
    value* function;
    value* arguments;
    value* expression;
    velune::environment* environment;
    bool pushed = false;
};

class ExpandFrame final : public Frame {
public:
    static constexpr bool plain = true;
    ExpandFrame(velune::environment* env, value* expression) : environment(env), expression(expression) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter& in, value* v) override;
    void trace(Tracer& t) const override;

private:
    enum class state : std::uint8_t {
        start,      // nothing done yet
        macro,      // a macro's call is running; its value arrives in `result`
        elements,   // the form's elements are being expanded
        done        // `result` is the expansion
    };
    state at = state::start;  // first, so it fits in the padding after the base
    velune::environment* environment;
    value* expression;
};

class ExpandAllFrame final : public Frame {
public:
    ExpandAllFrame(velune::environment* env, value* list) : environment(env), expression(list), remaining(list) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter&, value* v) override { values.push_back(v); }
    void trace(Tracer& t) const override;

private:
    velune::environment* environment;
    value* expression;
    value* remaining;
    std::vector<value*> values;
};

class ExecFrame final : public Frame {
public:
    static constexpr bool plain = true;
    // `body` is a proper list of expanded expressions.
    ExecFrame(value* body, velune::environment* env, value* nil) : body_list(body), environment(env), position(body) {
        result = nil;
    }
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter&, value* v) override { result = v; }
    void trace(Tracer& t) const override;

private:
    value* body_list;
    velune::environment* environment;
    value* position;  // the part of the body not yet evaluated
};

class NativeCallFrame final : public Frame {
public:
    static constexpr bool plain = true;
    NativeCallFrame(value* arguments, velune::environment* env, nativefunc* native)
        : arguments(arguments), environment(env), native(native) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter&, value*) override;
    void trace(Tracer& t) const override;

private:
    value* arguments;
    velune::environment* environment;
    nativefunc* native;  // its entry and its name
};

class ResumableNativeCallFrame final : public Frame {
public:
    ResumableNativeCallFrame(value* arguments, velune::environment* env, resumable_native* native)
        : arguments(arguments), environment(env), native(native) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter& in, value* v) override;
    void trace(Tracer& t) const override;

private:
    enum class state : std::uint8_t { start, stepping };  // make the object; step it
    state at = state::start;  // first, so it fits in the padding after the base
    value* arguments;
    velune::environment* environment;
    resumable_native* native;  // its name and the class to instantiate
    builtin_ptr object;
};

class LoadFrame final : public Frame {
public:
    // `what` names the source for the trace (the path being loaded).
    LoadFrame(velune::environment* env, std::string source, std::string what, value* nil)
        : environment(env), source(std::move(source)), what(std::move(what)) {
        result = nil;  // `current`
    }
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(Interpreter& in, value* v) override;
    void trace(Tracer& t) const override;

private:
    enum class state : std::uint8_t {
        read,       // read the next expression into `result`
        expand,     // push its expansion
        evaluate,   // push the evaluation of the expansion
        evaluated   // its value has arrived
    };
    state at = state::read;  // first, so it fits in the padding after the base
    velune::environment* environment;
    std::string source;
    std::string what;
    std::size_t position = 0;
};

// ---- nested runs: a fresh Interpreter with one root frame, run to completion ----

value* expand_new(Runtime& rt, velune::environment* env, value* expression);
value* evaluate_new(Runtime& rt, velune::environment* env, value* expression);
value* compute_new(Runtime& rt, velune::environment* env, value* function, value* arguments);
// Runs a whole text through a LoadFrame root; `what` names it in the trace.
value* load_new(Runtime& rt, velune::environment* env, std::string source, std::string what);
// Calls the function bound to `name` in the global environment.
value* call(Runtime& rt, const Name* name, const std::vector<value*>& arguments);

// Reads, expands and evaluates every top-level expression of `source` in turn. `file` names
// the source in the diagnostics on standard error.
value* do_string(Runtime& rt, const std::string& source, velune::environment* env, std::string_view file = "(text)");

}  // namespace velune
