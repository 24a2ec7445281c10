; An error in the body of a let inside a function body, below the let's own lines.
(def (f n) (let a (- n 1) (let b (car a) (- b 1))))
(print (f 3))
