; print inside to-string inside print...: the host-stack guard ends it in order.
(define to-string (fn (x) (print x)))
(print 1)
