; A condition naming an unbound argument, after the same if has chosen branches at once.
(define test (fn (x) (if (< x limit) (quote below) (quote above))))
(define limit 3)
(print (list (test 1) (test 5)))
(unset limit)
(define mid (fn (x) (- 5 (test x))))
(print (mid 1))
