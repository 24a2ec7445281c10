; A macro defined by one top-level form is used when the next forms are expanded.
(define swap (with-exec-mode (quote macro) (fn (a b) (list b a))))
(swap "swapped" print)
(print (quote (swap 1 2)))
(print (macroexpand (quote (swap x f))))
(print (macroexpand (quote (list (swap 1 f) 2))))
(print (macroexpand (quote ((fn (x) (swap x print)) 1))))
(print (macroexpand 5))
(print (macroexpand (quote unbound-symbol)))
; A macro whose expansion is another macro call: both expand.
(define twice (with-exec-mode (quote macro) (fn (x) (list (quote swap) x (quote print)))))
(twice "expanded twice")
; Mode 2 forms are rebuilt with their elements expanded; mode 3 forms are left alone.
(print (macroexpand (quote (if true (swap 1 f) 2))))
(print (macroexpand (quote (quote (swap 1 f)))))
(print (macroexpand (quote (quasiquote (swap 1 (unquote (swap 2 g)))))))
; A symbol bound to a macro evaluates to the function value without error.
(print (repr swap))
