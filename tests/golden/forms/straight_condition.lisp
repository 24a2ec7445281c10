; A condition neither true nor false, two straight callees down.
(define test (fn (x) (if (- x 1) x 0)))
(define mid (fn (x) (- 5 (test x))))
(define top (fn (x) (if (< x 5) (mid (- x 1)) x)))
(print (top 3))
