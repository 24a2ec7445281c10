(print "before")
(print "tab\there")
