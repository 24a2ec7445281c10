; Arguments are evaluated left to right, each completely before the next.
(define trace (fn (x) (print x) x))
(print (list (trace 1) (trace (list (trace 2) (trace 3))) (trace 4)))
(print (list))
(print (list 1 "a" (quote b) nil))
