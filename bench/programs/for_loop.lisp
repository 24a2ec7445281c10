; A million passes of a for loop over a counting iterator closure: no deep recursion, so
; this measures the frame loop itself at a steady memory size.
(define counter
  (fn (limit)
    ((fn (i)
       (fn () (if (< i limit) ((fn (v) (set-symbol (quote i) (+ i 1)) (list v)) i) nil)))
     0)))
(define total 0)
(for x (counter 1000000) (set-symbol (quote total) (+ total x)))
(print total)
