; Generic functions: the newest matching method runs, and the dispatch code keeps its own
; meaning when the scope around a generic or its parameters change what its names are.
(defclass shape () "A shape" name)
(defclass square (shape) side)
(defgeneric (area s))
(defmethod (area (s shape)) 0)
(defmethod (area (s square)) (* (side s) (side s)))
(define sq (make-square 3))
(set (name sq) "sq")
(print (list (area sq) (area (make-shape "blob")) (name sq)))
(set (side sq) 5)
(print (area sq))
; Recursion through a generic keeps going as deep as the plain code would.
(defgeneric (count-down n))
(defmethod (count-down (n integer)) (if (= n 0) "done" (count-down (- n 1))))
(print (count-down 20000))
; A generic whose own scope binds a name its code uses, or whose parameter is named like
; one of the code's variables.
(let filter (fn (f l) l)
  (defgeneric (odd x))
  (defmethod (odd (x integer)) "integer")
  (defmethod (odd (x string)) "string"))
(print (odd 1))
(defgeneric (clash f))
(defmethod (clash (f integer)) (list "integer" f))
(print (clash 4))
; A method whose body fails: the trace shows the dispatch code's frames.
(defmethod (area (s string)) (car s))
(area "oops")
