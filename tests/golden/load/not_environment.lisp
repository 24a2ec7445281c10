(load "whatever.lisp" 5)
