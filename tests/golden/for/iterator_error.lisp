; The iterator's call shows as a CallFrame whose call form is (VAR).
(for item (fn () (car 5)) (print "never"))
