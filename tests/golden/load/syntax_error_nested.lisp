; A syntax error in a nested load names the file as seen from the starting directory.
(print "main")
(load "sub/outer.lisp")
