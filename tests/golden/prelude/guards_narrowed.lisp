; Rebinding library names that the generics do not use leaves them as they were; rebinding
; one they call (match-types) changes every dispatch from then on.
(define text "a program's own text")
(define name 7)
(print (list (+ 1 2) (+ "a" "b") (length text) (at (list 7 8) 1) name))
(define d (dict))
(set (at d "k") 1)
(set-at d "k" (+ 1 (at d "k")))
(print (at d "k"))
(for i (range 3) (set-symbol (quote text) (+ text (to-string i))))
(print text)
(define match-types (fn (call-args method-parameters) true))
(print (list (to-string 5) (length "abc")))
