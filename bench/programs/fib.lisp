; Doubly recursive Fibonacci through the natives - and < only (the prelude's + is generic).
(define fib (fn (n) (if (< n 2) n (- (fib (- n 1)) (- 0 (fib (- n 2)))))))
(print (fib 27))
