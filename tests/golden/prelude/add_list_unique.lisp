(print (+ (list 1) nil))
(+ (list 1) true)
