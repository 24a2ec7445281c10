(define C (make-class ()))
((make-instance C) (print "never"))
