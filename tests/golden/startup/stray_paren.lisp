(print "before")
)
(print "after")
(print 1x "never read
