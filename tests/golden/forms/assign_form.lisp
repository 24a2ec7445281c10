; (set-symbol (quote name) x) as a frame's own expression: a loop body, an if branch, a
; function's last form. The nearest binding changes, whatever scope holds it.
(define total 0)
(for x (iter (list 1 2 3)) (set-symbol (quote total) (+ total x)))
(print total)
(def (bump) (set-symbol (quote total) (+ total 10)))
(print (list (bump) total))
(def (outer n) ((fn (m) (if (< m 5) (set-symbol (quote n) (+ n m)) (set-symbol (quote n) 0)) n) 2))
(print (list (outer 1) (outer 7)))
; quote rebound in a scope: the argument is whatever that quote gives.
(define flag 0)
(def (with-own-quote quote) (set-symbol (quote total) 99))
(print (list (with-own-quote (fn (s) (quote flag))) total flag))
; set-symbol rebound while x is evaluated: the call still goes to the function looked up first.
(define saved set-symbol)
(define answer (set-symbol (quote flag) (begin (define set-symbol (fn (a b) (quote replaced))) 5)))
(define set-symbol saved)
(print (list answer flag))
(print (list (set-symbol (quote flag) 6) flag))
; a generated symbol, and a non-symbol, go the plain way.
(print (set-symbol (quote 5) 1))
