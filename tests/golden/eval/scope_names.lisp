; A name read only as a global until a later function takes it as a parameter: from then
; on the parameter must shadow it, and the global must still be found everywhere else.
(define late 1)
(define read-late (fn () late))
(print (read-late))
(define shadow (fn (late) (list late (read-late))))
(print (shadow 2))
(define nested (fn (late) ((fn () late))))
(print (nested 3))
(print (read-late))
; current-scope and parent-scope: rebinding or unsetting one leaves the other in place
(define rebind (fn (x) (set-symbol (quote current-scope) 5) (list current-scope x)))
(print (rebind 1))
(define drop-parent (fn (x) (unset parent-scope) (eval current-scope (quote x))))
(print (drop-parent 7))
; the second unset finds the next current-scope out: the global one
(define drop-current (fn (x) (unset current-scope) (list (unset current-scope) x)))
(print (drop-current 8))
(define show (fn (x) (set-symbol (quote parent-scope) 9) current-scope))
(print (eval (show 4) (quote (list parent-scope x))))
; so here no scope binds current-scope any more
(define inner (fn (y) (unset current-scope) (eval current-scope (quote y))))
(inner 6)
