; a file's last value is the value of load; its defines are global
(print (load "defs.lisp"))
(print from-defs)
(print (repr (load "empty.lisp")))
; every load runs the file anew
(load "defs.lisp")
; the working directory follows the loaded file and comes back afterwards
(print (load "sub/reader.lisp"))
(print (read-file "data.txt"))
(print (read-file "sub/written.txt"))
(print (load "sub//deeper/inner.lisp"))
; with an environment the expressions run there; define still binds globally
(define run-here (fn (local-value) (load "scope.lisp" current-scope)))
(print (run-here "the caller's local"))
(print seen)
