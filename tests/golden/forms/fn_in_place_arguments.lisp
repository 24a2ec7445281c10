; An error while the arguments of a function applied in place are evaluated.
(def (f x) ((fn (a b) (+ a b)) x (car x)))
(print (f 1))
