; A native failing on values its arguments computed, two calls deep in function bodies.
(def (head-of x) (car (cdr x)))
(def (twice x) (- (head-of x) (- 0 (head-of (list 5 6)))))
(print (twice (list 1 2)))
(print (twice (list 1)))
