; An error at the end of tail calls between closures of one fn form: each call's lines, and
; the closure the error happens in.
(def (make k) (fn (n other) (if (= n 0) (car k) (other (- n 1) (make (- k 1))))))
(print ((make 10) 2 (make 20)))
