(print "one")
(print "two")
(print (quote (a b)
; the end
