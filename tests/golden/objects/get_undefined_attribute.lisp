(define i (make-instance (make-class () x)))
(print (get-attr i 'x))
(get-attr i 'nosuch)
