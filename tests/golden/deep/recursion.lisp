; Velune recursion grows the frame stack, never the host stack.
; Native arithmetic only: the generic + would make this a test of the prelude, not of depth.
(define minus-one (- 0 1))
(define depth (fn (n) (if (= n 0) 0 (- (depth (- n 1)) minus-one))))
(print (depth 100000))
(define build (fn (n acc) (if (= n 0) acc (build (- n 1) (cons n acc)))))
(define count (fn (lst) (if (= lst nil) 0 (- (count (cdr lst)) minus-one))))
(print (count (build 100000 nil)))
