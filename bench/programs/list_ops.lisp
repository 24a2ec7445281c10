; Lists through the library: build with map over range-made lists, keep with filter, fold with
; reduce, measure with length; twenty rounds over 5,000 numbers.
(def (numbers n) (let items nil (for i (range n) (set-symbol (quote items) (cons i items))) items))
(def (round k)
  (let squares (map (fn (x) (+ x k)) (numbers 5000))
    (let even (filter (fn (x) (< x 2500)) squares)
      (+ (reduce + even) (length even)))))
(define total 0)
(for k (range 20) (set-symbol (quote total) (+ total (round k))))
(print total)
