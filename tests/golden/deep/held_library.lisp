; Two argument values of the library's + wait in their frame while the second is computed:
; the first, a fresh integer or string, must live through every collection meanwhile.
(define total (fn (n) (if (= n 0) 0 (+ (* n 1) (total (- n 1))))))
(print (total 20000))
(define chain (fn (n) (if (= n 0) "" (+ (to-string (* n 1)) (chain (- n 1))))))
(print (length (chain 3000)))
; a library function with a fast path given two arguments it does not take: the count is
; checked before the fast path could answer
(length "ab" (* 2 3))
