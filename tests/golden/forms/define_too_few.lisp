(define x)
