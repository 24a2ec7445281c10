; An if whose chosen branch is a constant or a symbol gives its value at once; an unbound
; symbol there fails with the if's lines, from within a callee's level.
(define pick (fn (n) (if (< n 2) n (if (= n 5) "five" (if (= n 6) nil (- n 1))))))
(print (pick 1))
(print (pick 5))
(print (pick 6))
(print (pick 9))
(define none (fn (n) (if (< n 2) (quote small))))
(print (none 1))
(print (none 3))
(define up (fn (n) (if (< n 2) nosuch n)))
(define twice (fn (n) (- (up n) (- 0 (up (- n 1))))))
(print (twice 4))
(print (twice 2))
