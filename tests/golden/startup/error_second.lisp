(print "one")
(error (quote boom) "bad")
(print 1x "never read
