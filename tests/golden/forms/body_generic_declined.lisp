; The library's + declining (a string and a number): the call runs the library's own body.
(def (f n) (- 0 (+ (car (list n)) "a")))
(print (f 1))
