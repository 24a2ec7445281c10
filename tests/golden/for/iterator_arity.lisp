(for item (fn (a) (list a)) (print "never"))
