; Velune recursion grows the frame stack, never the host stack.
(define depth (fn (n) (if (= n 0) 0 (+ 1 (depth (- n 1))))))
(print (depth 100000))
(define build (fn (n acc) (if (= n 0) acc (build (- n 1) (cons n acc)))))
(define count (fn (lst) (if (= lst nil) 0 (+ 1 (count (cdr lst))))))
(print (count (build 100000 nil)))
