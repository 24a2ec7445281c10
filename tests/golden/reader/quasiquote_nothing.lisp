(print "before")
(print `)
