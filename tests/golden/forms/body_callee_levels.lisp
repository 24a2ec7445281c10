; Velune functions called from a body run in the caller's frame while it has room, and in
; frames of their own after: the trace is the same either way. A recursion deep enough to
; fill several frames, a function of no arguments, a let inside a callee, a tail loop
; started from a callee, and an error at the bottom of each.
(def (down n) (if (= n 0) 0 (+ 1 (down (- n 1)))))
(print (down 5000))
(def (loop n acc) (if (= n 0) acc (loop (- n 1) (+ acc n))))
(def (outer n) (+ 1 (loop n 0)))
(print (outer 100000))
(def (three) 3)
(def (scaled x) (let y (* x (three)) (+ y 1)))
(print (scaled 4))
(def (bad n acc) (if (= n 0) (car acc) (bad (- n 1) (+ acc n))))
(def (outer-bad n) (+ 1 (bad n 0)))
(def (deep n) (if (= n 0) (outer-bad 3) (+ 1 (deep (- n 1)))))
(print (deep 12))
