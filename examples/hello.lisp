; A first Velune program: functions, closures and a little list work.
(define greet (fn (who) (print (+ "hello, " who))))
(greet "world")

(define make-counter
  (fn (start)
    ((fn (count)
       (fn () (set-symbol (quote count) (+ count 1)) count))
     start)))
(define next (make-counter 0))
(next)
(next)
(print (next))

(define squares (fn (n acc) (if (= n 0) acc (squares (- n 1) (cons (* n n) acc)))))
(print (squares 5 nil))
