; A macro call reaches eval unexpanded: it is not run as a function.
(define twice (with-exec-mode (quote macro) (fn (e) (list (quote list) e e))))
(eval current-scope (quote (twice 3)))
