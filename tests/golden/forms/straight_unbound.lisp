; An unbound name in a branch, two straight callees down.
(define test (fn (x) (if (< x 2) nowhere x)))
(define mid (fn (x) (- 5 (test x))))
(define top (fn (x) (- 0 (mid (- x 1)))))
(print (top 2))
