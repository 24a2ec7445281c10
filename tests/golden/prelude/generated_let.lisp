; A macro's local bound to a generated symbol, as defclass's constructors bind theirs: the
; body runs where it is written, in a scope of its own, and a failure there shows its frames.
(defmacro (twice-of x) (let g (gensym) (quasiquote (let (unquote g) (unquote x) (list (unquote g) (unquote g))))))
(def (pair-of v) (twice-of (+ v 1)))
(print (list (pair-of 1) (pair-of 10)))
(defmacro (with-both a b body) (let* (g (gensym) h (gensym)) (quasiquote ((fn ((unquote g) (unquote h)) ((unquote body) (unquote g) (unquote h))) (unquote a) (unquote b)))))
(def (joined x y) (with-both x y (fn (p q) (+ p q))))
(print (joined "left-" "right"))
(def (broken v) (twice-of (car v)))
(print (car (broken (list 7))))
(broken 7)
