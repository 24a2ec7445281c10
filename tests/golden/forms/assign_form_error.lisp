; An error while x of a frame's own (set-symbol (quote name) x) is evaluated: the lines of the
; arguments' evaluation.
(define total 0)
(def (f n) (if (= n 0) (set-symbol (quote total) (car n)) (f (- n 1))))
(for k (iter (list 2)) (f k))
