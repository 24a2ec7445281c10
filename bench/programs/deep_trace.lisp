; An error 124,990 calls deep: the report prints its whole trace, just under 1,000,000 frames.
(define f (fn (n) (if (= n 0) (car n) (cons n (f (- n 1))))))
(f 124990)
