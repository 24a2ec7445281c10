; A function called with too many arguments from a body, its arguments computed first.
(def (g a) a)
(def (f n) (- 1 (g (- n 1) (print "computed"))))
(print (f 1))
