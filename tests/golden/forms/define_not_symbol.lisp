(define "x" 1)
