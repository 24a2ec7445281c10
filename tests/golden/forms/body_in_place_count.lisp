; A function applied in place with more arguments than parameters, inside a body.
(def (h n) (- 1 ((fn (a) a) n n)))
(print (h 3))
