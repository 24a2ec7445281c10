; A long loop written with recursion through an accumulator: three runs of a million passes.
(define loop (fn (i acc) (if (= i 0) acc (loop (- i 1) (+ acc i)))))
(print (loop 1000000 0))
(print (loop 1000000 1))
(print (loop 1000000 2))
