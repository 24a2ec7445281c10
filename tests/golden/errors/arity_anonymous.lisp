(define f (fn (a b . more) a))
(f 1)
