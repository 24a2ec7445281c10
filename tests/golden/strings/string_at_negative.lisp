(print (at "abc" 1))
(at "abc" (- 0 1))
