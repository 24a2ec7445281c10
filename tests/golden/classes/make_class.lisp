; own attributes in order, no parents
(define P (make-class () a b))
(print (repr P))
(print (repr (get-class-owned-attributes P)))
(print (repr (make-class ())))
; parent expressions are evaluated once each, left to right, before the class is made
(define trail "")
(define note (fn (s v) (define trail (+ trail s)) v))
(define Q (make-class () q))
(define C (make-class ((note "P" P) (note "Q" Q)) c a))
(print trail)
(print (repr (get-all-class-attributes C)))
(print (is-subclass C Q))
(print (repr (make-class ((if true P Q)) x)))
; the class keeps the scope it was made in, not a new one
(define made-in (fn (v) (make-class ())))
(define K (made-in "local"))
(print (eval (get-class-env K) (quote v)))
; instances of the child read and write inherited and repeated attributes through one slot
(define i (make-instance C))
(set-attr i (quote a) 7)
(set-attr i (quote b) 8)
(print (repr (list (get-attr i (quote a)) (get-attr i (quote b)) (get-attr i (quote c)))))
; parents that are not classes are kept and contribute no attributes
(define odd (make-class (5 P) z))
(print (repr (get-all-class-attributes odd)))
