; The lower frames of a deep stack hold values made on the way down while the work above
; them runs through many collections; each value is read again on the way up.
(define minus-one (- 0 1))
(define build (fn (n acc) (if (= n 0) acc (build (- n 1) (cons n acc)))))
(define count (fn (lst) (if (= lst nil) 0 (- (count (cdr lst)) minus-one))))
(define combine (fn (lst rest) (- (count lst) (- 0 rest))))
; Every level holds a fresh list in its call's arguments while the levels above it run;
; every 250th one first runs a recursion 3,000 deep above the others and lets it go.
(define dive (fn (n k)
  (if (= n 0) 0
      (if (= k 0)
          (combine (build (count (build 3000 nil)) nil) (dive (- n 1) 250))
          (combine (cons n (build 3 nil)) (dive (- n 1) (- k 1)))))))
(print (dive 1500 250))
(print (dive 1500 0))
