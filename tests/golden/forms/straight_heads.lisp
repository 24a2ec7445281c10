; A body run straight keeps each head it found in the global scope until that name's
; binding changes anywhere: a define, a set-symbol, an unset, or a first binding inside a
; scope, which the same nodes may run in later.
(define step (fn (x) (- x 1)))
(define run-step (fn (x) (step (step x))))
(print (run-step 10))
(define step (fn (x) (- x 2)))
(print (run-step 10))
(set-symbol (quote step) (fn (x) (- 0 x)))
(print (run-step 10))
; One fn form made into functions twice: the second's scope binds the head the first found
; in the global scope, and the same nodes then run in both.
(define form (quote (fn (x) (step (step x)))))
(define plain (eval current-scope form))
(print (plain 4))
(define shadowed (let step (fn (x) (list x)) (eval current-scope form)))
(print (list (shadowed 4) (plain 4) (shadowed 5)))
; A native head rebound to a Velune function and back, and a leaf head that is a parameter.
(define sub -)
(define diff (fn (a b) (sub a (sub b 1))))
(print (diff 10 3))
(define sub (fn (a b) (list a b)))
(print (diff 10 3))
(define sub -)
(print (diff 10 3))
(define apply-to (fn (f x) (f x 1)))
(print (list (apply-to - 5) (apply-to < 5) (apply-to list 5)))
; Unset: the next call finds the name unbound.
(unset step)
(print (run-step 10))
