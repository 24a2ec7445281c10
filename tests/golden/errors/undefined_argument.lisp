(print "before")
(print y)
(print "never reached")
