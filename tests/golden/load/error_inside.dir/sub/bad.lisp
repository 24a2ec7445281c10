(define ok 1)
(car ok)
