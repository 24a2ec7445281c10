(define f (fn () (load "nowhere/x.lisp")))
(f)
