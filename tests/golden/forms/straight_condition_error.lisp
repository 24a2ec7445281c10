; A condition whose native declines its values and fails, two straight callees down.
(define test (fn (x) (if (< x "two") x 0)))
(define mid (fn (x) (- 5 (test x))))
(define top (fn (x) (if (< x 5) (mid (- x 1)) x)))
(print (top 3))
