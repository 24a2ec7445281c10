(print "before")
(print (quote (12a)))
(print "never")
