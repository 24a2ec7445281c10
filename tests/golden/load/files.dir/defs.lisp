(print "loading defs")
(define from-defs "defined in defs.lisp")
; a macro defined here applies to the expressions after it
(define twice (with-exec-mode (quote macro) (fn (e) (list (quote list) e e))))
(print (repr (twice "x")))
42
