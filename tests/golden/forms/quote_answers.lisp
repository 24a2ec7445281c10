; quote answers without a frame of its own: through another name, with more than one
; argument, made a function, and without its argument.
(define q quote)
(print (list (q abc) (quote (1 2)) (quote a b)))
(define quote-args (with-exec-mode (quote function) quote))
(define x 7)
(print (quote-args x))
(define total 0)
(for i (range 3) (set-symbol (quote total) (+ total i)))
(print total)
(q)
