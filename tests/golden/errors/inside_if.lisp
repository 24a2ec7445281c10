(define f (fn (x) (if (car x) 1 2)))
(f 5)
