; Operands after the failing one are not evaluated.
(or false (+ 1 2) (print "never"))
