; Doubly recursive Fibonacci of 20 through the library's generic + (and the natives - and <).
(define fib (fn (n) (if (< n 2) n (+ (fib (- n 1)) (fib (- n 2))))))
(print (fib 20))
