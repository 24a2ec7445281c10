; An error while a let's value is computed, inside a function body.
(def (g n) (let a (- (car n) 1) a))
(print (g 3))
