; for bodies run from their nodes: each pass its own scope (closures keep their pass's item),
; nested loops, let and define inside a body, and an error deep in an inner loop's body.
(define keep nil)
(for x (range 3) (set-symbol (quote keep) (cons (fn () x) keep)))
(print (map (fn (f) (f)) keep))
(define total 0)
(for i (range 4) (for j (range i) (let k (- i j) (set-symbol (quote total) (- total (- 0 k))))))
(print total)
(for i (range 2) (define last-seen i))
(print last-seen)
(for i (range 3) (for j (range 2) (if (= i 2) (car j) j)))
