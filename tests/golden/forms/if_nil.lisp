(print "before")
(if nil 1 2)
