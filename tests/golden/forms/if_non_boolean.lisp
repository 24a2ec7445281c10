; The condition must be true or false; the message shows the expression and its value.
(define f (fn (n) (if (+ n 1) "yes" "no")))
(f 1)
