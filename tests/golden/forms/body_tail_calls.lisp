; Tail calls of the same body take over the frame: a long loop, a loop through a let's last
; form and nested ifs, two closures of one fn form calling each other, and functions with
; different bodies calling each other.
(def (loop i acc) (if (= i 0) acc (loop (- i 1) (- acc (- 0 1)))))
(print (loop 100000 0))
(def (walk i) (if (< i 0) (quote done) (let j (- i 1) (if (= j 5) (walk (- j 1)) (walk j)))))
(print (walk 20))
(def (make k) (fn (n other) (if (= n 0) k (other (- n 1) (make (- k 1))))))
(print ((make 10) 4 (make 20)))
(def (ping n) (if (= n 0) (quote ping) (pong (- n 1))))
(def (pong n) (if (= n 0) (quote pong) (ping (- n 1))))
(print (list (ping 7) (ping 8)))
(def (fail-at i) (if (= i 0) (car i) (let j (- i 1) (fail-at j))))
(print (fail-at 3))
