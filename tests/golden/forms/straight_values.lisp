; Bodies of constants, names, leaves and calls alone run straight; everything they meet that
; they cannot run so (a head rebound, a form under another name, a body with a scope of its
; own) goes the ordinary way, with the same values.
(define minus-one (- 0 1))
(define op -)
(define apply-op (fn (a b) (op (- a 0) b)))
(define twice (fn (a b) (list (apply-op a b) (apply-op b a))))
(print (twice 5 3))
(define op <)
(print (twice 5 3))
(define op -)
; The if under another name: its calls are not the if a body was read with.
(define when-else if)
(define pick (fn (c) (when-else (< c 0) (quote negative) (quote other))))
(define call-pick (fn (x) (list (pick (- x 1)) (pick (- 0 x)))))
(print (call-pick 1))
; A callee whose body has a let, between bodies run straight.
(define inner (fn (x) (- x 1)))
(define with-let (fn (x) (let y (inner x) (- y (inner y)))))
(define outer (fn (x) (- 10 (with-let (inner x)))))
(print (outer 7))
; A tail call of the frame's own body, many times over.
(define down (fn (n acc) (if (= n 0) acc (down (- n 1) (- acc minus-one)))))
(print (down 20000 0))
; Recursion deeper than a frame holds: frames are pushed and their callers go on straight.
(define depth (fn (n) (if (= n 0) 0 (- 1 (- 0 (depth (- n 1)))))))
(print (depth 3000))
(define fib (fn (n) (if (< n 2) n (- (fib (- n 1)) (- 0 (fib (- n 2)))))))
(print (fib 18))
; No else branch, a quoted leaf, a generic with a fast routine.
(define maybe (fn (c) (if (< c 0) (quote below))))
(define call-maybe (fn (x) (list (maybe x) (maybe (- 0 x)) (+ x 2))))
(print (call-maybe 4))
; The if under another name with calls for branches: callees run straight return into the
; levels the ordinary steps opened for it, which a straight run must not read as its own.
(define neg (fn (c) (- 0 c)))
(define pick-call (fn (c) (when-else (< c 0) (neg c) (depth c))))
(print (list (pick-call (- 0 5)) (pick-call 100)))
(define deep-pick (fn (n) (if (= n 0) (pick-call 7) (- 0 (deep-pick (- n 1))))))
(print (list (deep-pick 40) (deep-pick 41)))
(define wrap-pick (fn (n) (when-else (= n 0) (pick-call 3) (- 1 (- 0 (wrap-pick (- n 1)))))))
(print (wrap-pick 200))
