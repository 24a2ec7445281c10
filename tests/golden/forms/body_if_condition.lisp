; A condition that is neither true nor false, reached through a tail call and an argument.
(def (check n) (if (- n 1) 1 2))
(def (outer n) (if (< n 0) 0 (- 10 (check n))))
(print (outer 3))
