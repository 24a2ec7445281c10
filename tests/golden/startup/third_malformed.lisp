(print "one")
(print "two")
(print (quote 3x))
(print "never")
