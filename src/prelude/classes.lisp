; defclass, the assignment macro set, and the code generators defclass uses.

(define setter-store (dict))
(set-doc setter-store "Global list of (set (<getter> x) value) -> (<setter> x value) transforms for the (set) macro")
(set-key setter-store "at" "set-at")

(defmacro (set place value) (cond (is-symbol place) (quasiquote (set-symbol (quote (unquote place)) (unquote value))) (and (is-list place) (>= (length place) 2)) (let* (getter-name (car place) setter-name (get-key setter-store (to-string getter-name)) getter-args (cdr place)) (quasiquote ((unquote (to-symbol setter-name)) (unquote-splicing getter-args) (unquote value)))) true (error (quote syntax-error) (+ "Unknown set syntax at " (to-string (quasiquote (set (unquote place) (unquote value))))))))

(def (make-attr-initializer instance-symbol attributes) (if (= nil attributes) (quote ()) (cons (quasiquote (set-attr (unquote instance-symbol) (quote (unquote (car attributes))) (unquote (car attributes)))) (make-attr-initializer instance-symbol (cdr attributes)))))

(def (make-constructor class-name attributes) (let* (instance-symbol (gensym) local-class-symbol (gensym)) (quasiquote (let (unquote local-class-symbol) (unquote class-name) (def ((unquote (to-symbol (+ "make-" (to-string class-name)))) (unquote-splicing attributes)) (let (unquote instance-symbol) (make-instance (unquote local-class-symbol)) (begin (unquote-splicing (make-attr-initializer instance-symbol attributes)) (unquote instance-symbol))))))))

(def (make-getter class-name attribute-name) (let* (instance-symbol (gensym) method-key (to-string attribute-name)) (quasiquote (begin (if (not (has-key method-store (unquote (to-string attribute-name)))) (defgeneric ((unquote attribute-name) (unquote instance-symbol)))) (defmethod ((unquote attribute-name) ((unquote instance-symbol) (unquote class-name))) (get-attr (unquote instance-symbol) (quote (unquote attribute-name))))))))

(def (make-getters class-name attribute-names) (map (fn (attr-name) (make-getter class-name attr-name)) attribute-names))

(def (make-setter class-name attribute-name) (let* (instance-symbol (gensym) value-symbol (gensym) setter-name (+ "set-" (to-string attribute-name)) setter (to-symbol setter-name)) (quasiquote (begin (if (not (has-key method-store (unquote setter-name))) (begin (defgeneric ((unquote setter) (unquote instance-symbol) (unquote value-symbol))) ((unquote set-key) setter-store (unquote (to-string attribute-name)) (unquote setter-name)))) (defmethod ((unquote setter) ((unquote instance-symbol) (unquote class-name)) (unquote value-symbol)) (set-attr (unquote instance-symbol) (quote (unquote attribute-name)) (unquote value-symbol)))))))

(def (make-setters class-name attribute-names) (map (fn (attr-name) (make-setter class-name attr-name)) attribute-names))

(defmacro (defclass name parents . body) (let* (doc (if (has-docstring body) (car body) (repr (quasiquote (defclass (unquote name) (unquote parents) (unquote-splicing body))))) docless-body (if (has-docstring body) (cdr body) body)) (let local-class (gensym) (quasiquote (begin (define (unquote name) (make-class (unquote parents) (unquote-splicing docless-body))) (set-metadata (unquote name) (dict)) (set-key (get-metadata (unquote name)) "name" (unquote (to-string name))) (set-key (get-metadata (unquote name)) "source" (quote (defclass (unquote name) (unquote parents) (unquote-splicing body)))) (unquote (make-constructor name docless-body)) (unquote-splicing (make-getters name docless-body)) (unquote-splicing (make-setters name docless-body)) (let (unquote local-class) (unquote name) (def ((unquote (to-symbol (+ "is-" (to-string name)))) x) (is-instance x (unquote local-class)))) (defgeneric ((unquote (to-symbol (+ "to-" (to-string name)))) x)) (set-doc (unquote name) (unquote doc)))))))
