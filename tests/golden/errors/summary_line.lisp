; Standard error names the line where the failing top-level form begins, and puts the
; two-line message on one line.
(define f (fn (x)
  (x 1)))
(print "start")
  (print
    (f 5))
(print "never")
