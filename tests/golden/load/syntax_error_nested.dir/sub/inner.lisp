(print "inner")
  (print 12a)
