; Builds a 100,000-element list and sums it, both recursively, five times over.
(define build (fn (n) (if (= n 0) nil (cons n (build (- n 1))))))
(define sum (fn (l) (if (= l nil) 0 (- (car l) (- 0 (sum (cdr l)))))))
(define rounds (fn (k total) (if (= k 0) total (rounds (- k 1) (- total (- 0 (sum (build 100000))))))))
(print (rounds 5 0))
