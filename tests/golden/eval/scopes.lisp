; current-scope is the call's environment; parent-scope the one the function was made in.
(define outer-value 1)
(define f (fn (outer-value) (eval parent-scope (quote outer-value))))
(print (f 2))
(define g (fn (outer-value) (eval current-scope (quote outer-value))))
(print (g 3))
; set-symbol changes the nearest binding only
(define h (fn (outer-value) (set-symbol (quote outer-value) 50) outer-value))
(print (h 4))
(print outer-value)
(define k (fn () (set-symbol (quote outer-value) 60)))
(k)
(print outer-value)
; define binds globally even inside a function, where a local binding keeps shadowing
(define d (fn (y) (define y 7) y))
(print (d 1))
(print y)
; unset removes the nearest binding; a later reference is undefined
(define z 1)
(print (unset z))
(print (unset z))
(print parent-scope)
