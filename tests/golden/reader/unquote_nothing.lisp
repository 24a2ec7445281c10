(print "before")
(quote (a ,))
