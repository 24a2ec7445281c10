; Not a language error: reported with the internal-failure header, status 3.
(print "before")
(load "missing.lisp")
