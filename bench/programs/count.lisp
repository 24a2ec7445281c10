; A recursive count 100,000 calls deep, twenty times over: natives and special forms only.
(define count (fn (n) (if (= n 0) 0 (- 1 (- 0 (count (- n 1)))))))
(define rounds (fn (k total) (if (= k 0) total (rounds (- k 1) (- total (- 0 (count 100000)))))))
(print (rounds 20 0))
