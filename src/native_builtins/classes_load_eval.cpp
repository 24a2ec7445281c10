// make-class, load and eval: built-ins that need the frame machine without being control flow.
#include <filesystem>
#include <system_error>

#include "native_builtins/native_builtins.h"
#include "natives/natives.h"
#include "parse/parse.h"
#include "runtime/files.h"
#include "runtime/format.h"
#include "value/printer.h"

namespace velune {

namespace {

class class_constructor final : public resumable_builtin {
    value* attribute_list = nullptr;
    velune::environment* environment = nullptr;
    value* pending_parents = nullptr;
    std::vector<value*> parent_values;

public:
    void init(Interpreter& in, velune::environment* env, value* arguments) override {
        environment = env;
        arg_list args(in.rt, arguments, "make-class");
        pending_parents = args.any(0);
        if (!is_list(pending_parents)) args.wrong_kind(0, "a proper list of parents");
        attribute_list = as<cell>(arguments)->cdr;
    }

    bool next_step(Interpreter& in) override {
        Runtime& rt = in.rt;
        // Each parent expression is evaluated once, in order, before the class is made.
        if (is<cell>(pending_parents)) {
            value* expression = as<cell>(pending_parents)->car;
            pending_parents = as<cell>(pending_parents)->cdr;
            in.push<EvalFrame>(environment, expression);
            return false;
        }
        std::vector<const Name*> names;
        list_elements attributes(attribute_list);
        std::size_t position = 2;
        for (value* attribute; attributes.next(attribute); ++position) {
            if (!is<named_symbol>(attribute)) {
                throw LispError{"(make-class): expects a named symbol as argument " +
                                format_integer(static_cast<std::int64_t>(position)) + ", got " +
                                describe(rt, attribute)};
            }
            names.push_back(as<named_symbol>(attribute)->name);
        }
        result = rt.heap.make<Class>(rt, parent_values, std::move(names), environment);
        return true;
    }

    void resume(Interpreter&, value* v) override { parent_values.push_back(v); }

    void trace(Tracer& t) const override {
        t.visit(attribute_list);
        t.visit(environment);
        t.visit(pending_parents);
        t.visit_all(parent_values);
        t.visit(result);
    }
};

// Runs a file with the working directory set to the file's own directory, so that the
// relative paths inside it (nested loads, file natives) are relative to the file.
class load_file final : public resumable_builtin {
    enum class state { opening, running, finishing } at = state::opening;
    std::string directory;
    std::filesystem::path saved_directory;
    std::string file_name;
    velune::environment* target_environment = nullptr;
    velune::string* path = nullptr;

    void restore_directory() const {
        std::error_code failure;
        std::filesystem::current_path(saved_directory, failure);
        if (failure) {
            throw HostFailure{"load: cannot return to directory " + saved_directory.string() + ": " + failure.message()};
        }
    }

    // Diagnostics name a file as seen from the directory the program started in: a nested
    // load's path is relative to the directory of the file that loads it.
    std::string name_from_start(const Runtime& rt) const {
        const auto& loading = rt.diagnostics.loading;
        if (loading.empty() || path->text.starts_with('/')) return path->text;
        const std::string parent = my_dirname(loading.back());
        if (parent.empty()) return path->text;
        return parent.ends_with('/') ? parent + path->text : parent + "/" + path->text;
    }

public:
    void init(Interpreter& in, velune::environment*, value* arguments) override {
        arg_list args(in.rt, arguments, "load");
        path = args.string(0);
        check_confined_path(in.rt, "load", path->text);
        target_environment = args.size() == 1 ? in.rt.global : args.environment(1);
        directory = my_dirname(path->text);
        file_name = my_basename(path->text);
        if (!directory.empty()) {
            std::error_code failure;
            saved_directory = std::filesystem::current_path(failure);
            if (failure) throw HostFailure{"load: cannot find the working directory: " + failure.message()};
        }
    }

    bool next_step(Interpreter& in) override {
        switch (at) {
        case state::opening: {
            if (!directory.empty()) {
                std::error_code failure;
                std::filesystem::current_path(directory, failure);
                if (failure) throw HostFailure{"load: cannot enter directory " + directory + ": " + failure.message()};
            }
            std::string source;
            int error = 0;
            if (!read_whole_file(file_name, source, error)) {
                if (!directory.empty()) restore_directory();
                throw HostFailure{"load: cannot open " + path->text + ": " + std::generic_category().message(error)};
            }
            in.push<LoadFrame>(target_environment, std::move(source), path->text, in.rt.nil);
            in.rt.diagnostics.loading.push_back(name_from_start(in.rt));
            at = state::running;
            return false;
        }
        case state::finishing:
            if (!directory.empty()) restore_directory();
            return true;
        default:
            internal_failure("load_file.next_step() while its file runs");
        }
    }

    void resume(Interpreter& in, value* v) override {
        // The LoadFrame has just made its last read.
        auto& loading = in.rt.diagnostics.loading;
        warn_unmatched_close(in.rt, loading.back());
        loading.pop_back();
        result = v;
        at = state::finishing;
    }

    void trace(Tracer& t) const override {
        t.visit(target_environment);
        t.visit(path);
        t.visit(result);
    }
};

class eval_inline final : public resumable_builtin {
    velune::environment* target_environment = nullptr;
    value* expression = nullptr;

public:
    // The expression runs in the environment it is given, not the caller's.
    void init(Interpreter& in, velune::environment*, value* arguments) override {
        arg_list args(in.rt, arguments, "eval");
        args.expect_at_least(2);
        target_environment = args.environment(0);
        expression = args.any(1);
        in.push<EvalFrame>(target_environment, expression);
    }

    bool next_step(Interpreter&) override { return true; }
    void resume(Interpreter&, value* v) override { result = v; }

    void trace(Tracer& t) const override {
        t.visit(target_environment);
        t.visit(expression);
        t.visit(result);
    }
};

}  // namespace

builtin_ptr make_class_constructor(StackArena& arena) { return make_builtin<class_constructor>(arena); }
builtin_ptr make_load_file(StackArena& arena) { return make_builtin<load_file>(arena); }
builtin_ptr make_eval_inline(StackArena& arena) { return make_builtin<eval_inline>(arena); }

}  // namespace velune
