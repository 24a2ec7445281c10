// The frame machine: Interpreter, the nine frames, the resumable-builtin interface, the
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
    // One line for an error trace.
    virtual std::string display(const Runtime& rt) const = 0;
    virtual value* finish() { return result; }
    // Advances one step, pushing at most one child; true once `result` is known.
    virtual bool next_step(Interpreter& in) = 0;
    // Receives the value of the child that has just finished.
    virtual void resume(value* v) = 0;
    virtual void trace(Tracer& t) const = 0;

    value* result = nullptr;
    std::uint32_t allocation_size = 0;  // what the frame pool must take back
};

// Frames and special-form objects come from the runtime's frame pool: a call makes several,
// so malloc would dominate the loop. Each records its size for the pool.
template <class T> struct pool_deleter {
    SlabPool* pool;
    void operator()(T* object) const noexcept {
        const std::size_t size = object->allocation_size;
        object->~T();
        pool->release(object, size);
    }
};
using frame_ptr = std::unique_ptr<Frame, pool_deleter<Frame>>;

// One object per call of a special form, driven by its ResumableNativeCallFrame.
class resumable_builtin {
public:
    virtual ~resumable_builtin() = default;
    // True when finished; false after pushing one frame (or to be asked again).
    virtual bool next_step() = 0;
    virtual void resume(value* v) = 0;
    // May push one frame onto `in`, which the object keeps for its later steps.
    virtual void init(Interpreter& in, velune::environment* env, value* arguments) = 0;
    virtual void trace(Tracer& t) const = 0;

    value* result = nullptr;  // nullptr reads as nil (define has no result)
    std::uint32_t allocation_size = 0;  // what the pool must take back
};

using builtin_ptr = std::unique_ptr<resumable_builtin, pool_deleter<resumable_builtin>>;

template <class T> builtin_ptr make_builtin(SlabPool& pool) {
    T* object = pool.make<T>();
    object->allocation_size = static_cast<std::uint32_t>(sizeof(T));
    return builtin_ptr(object, pool_deleter<resumable_builtin>{&pool});
}

class Interpreter final : public root_source {
public:
    explicit Interpreter(Runtime& rt);
    ~Interpreter() override;
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    Runtime& rt;
    // Owned: each is given back to rt.frame_pool when popped or when the run is abandoned.
    std::vector<Frame*> frames;

    template <class F, class... Args> void push(Args&&... args) {
        F* frame = rt.frame_pool.make<F>(std::forward<Args>(args)...);
        frame->allocation_size = static_cast<std::uint32_t>(sizeof(F));
        frame_ptr owned(frame, pool_deleter<Frame>{&rt.frame_pool});
        frames.push_back(frame);
        owned.release();
    }
    // Steps until no frame is left; returns the root frame's value. Failures escape with
    // the frames exactly as they were, for the trace.
    value* run();
    // One iteration of the loop; true when no frame is left.
    bool next_step();
    // The frames' lines, bottom first, joined with newlines; "(nothing to do)" when empty.
    std::string display() const;

    void trace_roots(Tracer& t) const override;

private:
    value* last_result = nullptr;  // the root's value once it has been popped

    frame_ptr pop() {
        frame_ptr top(frames.back(), pool_deleter<Frame>{&rt.frame_pool});
        frames.pop_back();
        return top;
    }
};

// ---- the frames ----

class EvalFrame final : public Frame {
public:
    EvalFrame(velune::environment* env, value* expression) : environment(env), expression(expression) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override;
    void trace(Tracer& t) const override;

private:
    int state = 0;  // first, so it fits in the padding after the base: 64 bytes in all
    velune::environment* environment;
    value* expression;
    value* function = nullptr;
    value* arguments = nullptr;
    value* argument_values = nullptr;
};

class EvalArgsFrame final : public Frame {
public:
    EvalArgsFrame(velune::environment* env, value* arguments)
        : environment(env), all_arguments(arguments), remaining(arguments) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override { arrived = v; }
    void trace(Tracer& t) const override;

private:
    velune::environment* environment;
    value* all_arguments;
    value* remaining;
    // The fresh list of values is `result`; `last` is its last cell, to append in place.
    velune::cell* last = nullptr;
    value* arrived = nullptr;  // a child's value, appended on the next step
    void append(Runtime& rt, value* v);
};

class CallFrame final : public Frame {
public:
    // `expression` is the call form for the trace, nil when there is none.
    CallFrame(value* function, value* arguments, value* expression, velune::environment* env)
        : function(function), arguments(arguments), expression(expression), environment(env) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override { result = v; }
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
    ExpandFrame(velune::environment* env, value* expression) : environment(env), expression(expression) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override;
    void trace(Tracer& t) const override;

private:
    velune::environment* environment;
    value* expression;
    int state = 0;
};

class ExpandAllFrame final : public Frame {
public:
    ExpandAllFrame(velune::environment* env, value* list) : environment(env), expression(list), remaining(list) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override { values.push_back(v); }
    void trace(Tracer& t) const override;

private:
    velune::environment* environment;
    value* expression;
    value* remaining;
    std::vector<value*> values;
};

class ExecFrame final : public Frame {
public:
    // `body` is a proper list of expanded expressions.
    ExecFrame(value* body, velune::environment* env, value* nil) : body_list(body), environment(env), position(body) {
        result = nil;
    }
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value* v) override { result = v; }
    void trace(Tracer& t) const override;

private:
    value* body_list;
    velune::environment* environment;
    value* position;  // the part of the body not yet evaluated
};

class NativeCallFrame final : public Frame {
public:
    NativeCallFrame(value* arguments, velune::environment* env, nativefunc* native)
        : arguments(arguments), environment(env), native(native) {}
    std::string display(const Runtime& rt) const override;
    bool next_step(Interpreter& in) override;
    void resume(value*) override;
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
    void resume(value* v) override;
    void trace(Tracer& t) const override;

private:
    int state = 0;  // first, so it fits in the padding after the base
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
    void resume(value* v) override;
    void trace(Tracer& t) const override;

private:
    velune::environment* environment;
    std::string source;
    std::string what;
    std::size_t position = 0;
    int state = 0;
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
