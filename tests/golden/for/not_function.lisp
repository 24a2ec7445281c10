(for x 5 (print "never"))
