; (eval ENV EXPR): both arguments evaluated, then the value once more, in ENV
(define x "global x")
(print (eval current-scope (quote x)))
(print (eval current-scope (quote (car (list 1 2)))))
(print (eval current-scope 5))
(print (eval current-scope (list (quote +) "a" "b")))
; the chosen scope, not the caller's
(define scope-of (fn (x) current-scope))
(define inner (scope-of "inner x"))
(print (eval inner (quote x)))
(define look (fn (x env) (eval env (quote x))))
(print (look "caller's x" inner))
(print (look "caller's x" current-scope))
; no expansion: code with macro calls goes through macroexpand first
(define twice (with-exec-mode (quote macro) (fn (e) (list (quote list) e e))))
(print (repr (eval current-scope (macroexpand (quote (twice 3))))))
; define inside eval still binds globally
(eval inner (quote (define from-eval x)))
(print from-eval)
