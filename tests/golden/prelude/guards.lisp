; Redefining what the generics are made of changes their results at once, whatever the
; interpreter does to make them fast.
(print (list (+ 1 2) (length "abc") (to-string 5) (in (list 1) 1)))
; a user method for a built-in type in front of the library's
(defmethod (length (x string)) 100)
(print (length "abc"))
(defmethod (to-string (x integer)) "an integer")
(print (list (to-string 5) (+ "n=" (to-string 7))))
; a method for a class in front changes nothing for other values
(defclass box () content)
(defmethod (add (a box) (b box)) (make-box (+ (content a) (content b))))
(print (list (+ 1 2 3) (content (+ (make-box 1) (make-box 2)))))
; the method store itself rewritten
(set-key method-store "add" (list (list (list (quote x) (quote y)) (fn (x y) "always this"))))
(print (+ 1 2))
; rebinding a function the generics call: no method matches any more
(define library-filter filter)
(define filter (fn (f l) nil))
(define results (list (is-string "s") (length "abc")))
