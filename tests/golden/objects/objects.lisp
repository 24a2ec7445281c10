; Instances start with nil slots; attributes are shared through the class layout.
(define C (make-class () x y))
(define D (make-class (C) z x))
(print (list (get-class-owned-attributes C) (get-all-class-attributes D) (get-class-owned-attributes D)))
(define i (make-instance D))
(define j (make-instance D "ignored"))
(print (list (get-attr i 'x) (get-attr i 'y) (get-attr i 'z)))
(print (list (set-attr i 'x 5) (set-attr i 'y "why" "ignored") (get-attr i 'x) (get-attr i 'y) (get-attr j 'x)))
(define E (make-class ()))
(print (list (get-all-class-attributes E) (get-class-owned-attributes (get-type (make-instance E)))))
; The hierarchy is compared by identity, depth first through every parent.
(define F (make-class (E D) w))
(print (list (is-subclass D C) (is-subclass D D) (is-subclass C D) (is-subclass integer integer) (is-subclass integer C)))
(print (list (is-subclass F C) (is-subclass F E) (is-subclass (get-type i) C) (is-subclass 1 1) (is-subclass C 'C)))
; The attribute lists are fresh symbols, equal to the names but not the same objects.
(define names (get-class-owned-attributes C))
(print (list (= (car names) 'x) (is-subclass (car names) (car names)) (is-subclass (car names) (car (get-class-owned-attributes C)))))
; The class keeps the very environment it was made in.
(define make-local (fn () (make-class () a)))
(print (list (is-subclass (get-class-env C) current-scope) (is-subclass (get-class-env (make-local)) current-scope)))
