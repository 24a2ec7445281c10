; A 100,000-pass for loop over range, summing with the generic +.
(define total 0)
(for i (range 100000) (set-symbol (quote total) (+ total i)))
(print total)
