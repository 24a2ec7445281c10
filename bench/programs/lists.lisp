; Building and walking a long list: cons a million cells, then sum and measure them.
; (Not named sum: the library's + is built on its sum.)
(define build (fn (n acc) (if (= n 0) acc (build (- n 1) (cons n acc)))))
(define total (fn (lst acc) (if (= lst nil) acc (total (cdr lst) (+ acc (car lst))))))
(define len (fn (lst n) (if (= lst nil) n (len (cdr lst) (+ n 1)))))
(define numbers (build 1000000 nil))
(print (total numbers 0))
(print (len numbers 0))
