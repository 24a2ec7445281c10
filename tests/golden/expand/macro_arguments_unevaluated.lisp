; Macros receive their arguments as written; a no-eval function gets them expanded but unevaluated.
(define show (with-exec-mode (quote macro) (fn (. forms) (list (quote print) (repr forms)))))
(show (+ 1 2) undefined-name "s")
(define raw (with-exec-mode (quote no-eval) (fn (. forms) forms)))
(print (raw (show a) b))
(define verbatim (with-exec-mode (quote no-expand) (fn (. forms) forms)))
(print (verbatim (show a) b))
