; A head bound to a number inside a body.
(define five 5)
(def (f n) (- n (five n)))
(print (f 1))
