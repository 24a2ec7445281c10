(load "sub.lisp")
