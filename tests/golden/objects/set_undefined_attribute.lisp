(define i (make-instance (make-class () x)))
(set-attr i 'nosuch 1)
