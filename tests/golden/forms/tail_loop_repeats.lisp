; A loop of tail calls through an if and a let keeps one group of trace lines and counts its
; turns; the trace of its error still shows every turn's lines, and a last turn down another
; path shows its own.
(define count-down (fn (n) (if (= n 0) (car n) (if (= n 1) (count-down 0) (let m (- n 1) (count-down m))))))
(count-down 5)
