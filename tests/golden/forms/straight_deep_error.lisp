; A failure under recursion deeper than a frame holds, after frames were pushed and their
; callers went on straight.
(define depth (fn (n) (if (= n 0) (- nil 1) (- 1 (- 0 (depth (- n 1)))))))
(define again (fn (n) (- (depth 5) (depth n))))
(print (again 300))
