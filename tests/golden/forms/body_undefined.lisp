; An undefined symbol as an argument of a call inside a body, and as a head.
(def (f n) (- n (- 0 missing)))
(print (f 1))
