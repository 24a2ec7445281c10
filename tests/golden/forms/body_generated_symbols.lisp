; Generated symbols in a function body: bound ones are found, an unbound one is reported by
; its number.
(defmacro (make-adder) (let s (gensym) (quasiquote (fn ((unquote s)) (- (unquote s) (- 0 (unquote s)))))))
(define adder (make-adder))
(print (adder 4))
(defmacro (make-bad) (quasiquote (fn (x) (- x (- 0 (unquote (gensym)))))))
(define bad (make-bad))
(print (bad 1))
