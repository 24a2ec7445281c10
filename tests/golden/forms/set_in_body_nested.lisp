; An error in a call made while the value of a let is computed.
(def (inner x) (car x))
(def (outer y) (let v (inner y) (list v)))
(print (outer 5))
