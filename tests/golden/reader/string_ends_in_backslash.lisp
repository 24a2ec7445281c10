(print "before")
(print "abc\