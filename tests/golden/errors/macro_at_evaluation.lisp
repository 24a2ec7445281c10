; The macro is bound while this very form runs, after it was expanded.
((fn () (define late (with-exec-mode (quote macro) (fn (x) x))) (late 1)))
