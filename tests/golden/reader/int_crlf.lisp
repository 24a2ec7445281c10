(print "before")
(print (quote (1
2)))