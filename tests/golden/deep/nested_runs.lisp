; Nested runs (macroexpand inside a macro inside macroexpand...) are bounded by the host stack.
(define deeper (with-exec-mode (quote macro) (fn (n) (macroexpand (list (quote deeper) n)))))
(deeper 1)
