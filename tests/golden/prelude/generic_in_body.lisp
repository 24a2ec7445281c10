; A generic called from a function's body with a call as its argument: the method chosen
; from the values the body worked out, and a failing method's trace through that body.
(defclass shape () "A shape" name)
(defgeneric (describe-shape s))
(defmethod (describe-shape (s shape)) (+ "shape " (name s)))
(def (describe-first shapes) (describe-shape (car shapes)))
(print (describe-first (list (make-shape "a"))))
(print (to-string (car (list "to-string's routine answers"))))
(defmethod (describe-shape (s integer)) (car s))
(def (sum-of xs) (+ 1 (describe-first xs)))
(sum-of (list 5))
