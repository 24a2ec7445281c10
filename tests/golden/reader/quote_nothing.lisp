(print "before")
(quote (a '))
(print "never")
