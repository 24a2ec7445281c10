; The call made by apply shows as a CallFrame without a call form.
(define g (fn (a) (car a)))
(apply g (list 5))
