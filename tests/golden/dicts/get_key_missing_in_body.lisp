(define d (dict))
(def (lookup d k) (if (has-key d "x") 0 (get-key d k)))
(lookup d "missing")
