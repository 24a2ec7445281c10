; A generic called on several types in turn, and methods added, shadowed and reset between
; its calls: each call runs the method the definitions choose at that moment.
(defclass animal () name)
(defclass dog (animal) breed)
(defclass puppy (dog) age)
(defgeneric (speak a))
(defmethod (speak (a animal)) "a sound")
(define rex (make-dog "lab"))
(define bit (make-puppy 1))
(define cat (make-animal "cat"))
(for round (range 3)
  (print (list (speak rex) (speak bit) (speak cat))))
; A method for a class in the middle of the chain takes over its subclasses at once.
(defmethod (speak (a dog)) "barks")
(print (list (speak rex) (speak bit) (speak cat)))
; Same types, different argument counts and untyped parameters.
(defgeneric (pair a b))
(defmethod (pair a (b integer)) (list "any, integer" a b))
(defmethod (pair (a string) (b string)) (list "string, string" a b))
(for x (iter (list 1 "s" 2))
  (print (list (pair x 5) (pair "t" "u"))))
; Starting over with defgeneric forgets the old methods: the call fails.
(print (speak rex))
(defgeneric (speak a))
(defmethod (speak (a puppy)) "only puppies")
(print (speak bit))
(speak rex)
