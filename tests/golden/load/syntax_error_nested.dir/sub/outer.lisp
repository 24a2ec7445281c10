(print "outer")
(load "inner.lisp")
