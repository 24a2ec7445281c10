; A recursion one million calls deep: every call stays on the frame stack.
(define depth (fn (n) (if (= n 0) 0 (+ 1 (depth (- n 1))))))
(print (depth 1000000))
