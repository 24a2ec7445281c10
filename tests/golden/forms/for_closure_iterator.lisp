; A for loop over an iterator closure: the call of the closure shows in a trace as a
; CallFrame under the loop, for an error on a later pass too.
(def (counter limit)
  (let i 0
    (fn () (if (< i limit) (let v i (set-symbol (quote i) (+ i 1)) (list v)) (car i)))))
(define seen nil)
(for x (counter 3) (set-symbol (quote seen) (cons x seen)))
(print seen)
