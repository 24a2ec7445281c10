; A native that fails three straight callees down, with arguments and branches pending at
; every one of them: the trace shows each level as it would have been written.
(define leaf (fn (x) (- x nil)))
(define mid (fn (x) (- 1 (- 0 (leaf (- x 1))))))
(define top (fn (x) (if (< x 5) (- 0 (mid x)) x)))
(define start (fn (x) (list 1 (top (- x 1)) 3)))
(print (start 3))
