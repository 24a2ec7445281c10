; print converts through the global to-string in a nested run: both runs report.
(define to-string (fn (x) (car x)))
(print "strings need no conversion")
(print 5)
