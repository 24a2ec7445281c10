; Generic functions: dispatch on the types of the arguments, and the built-in generics.
;
; Each built-in generic is one top-level form with its methods, inside the `let` that captures
; the natives it needs: defmethod calls to-string while it expands, so the whole form must be
; expanded before to-string itself becomes a generic without methods.

(def (match-types call-args method-parameters) (cond (and (= nil call-args) (= nil method-parameters)) true (= nil call-args) false (= nil method-parameters) false true (let* (argument (car call-args) parameter (car method-parameters)) (if (is-list parameter) (let* (param-name (car parameter) param-type (car (cdr parameter))) (if (is-instance argument param-type) (match-types (cdr call-args) (cdr method-parameters)) false)) (match-types (cdr call-args) (cdr method-parameters))))))
(set-doc match-types "internal function used by generics to match a method with call arguments")

(def (eval-types method-parameters call-env) (if (= nil method-parameters) nil (let parameter (car method-parameters) (if (is-list parameter) (let* (param-name (nth 0 parameter) param-type (nth 1 parameter) new-parameter (list param-name (eval call-env param-type))) (cons new-parameter (eval-types (cdr method-parameters) call-env))) (cons parameter (eval-types (cdr method-parameters) call-env))))))
(set-doc eval-types "internal function used by generics to only evaluate types in a method header")

(define method-store (dict))
(set-doc method-store "internal dictionary used by generics to store and retrieve methods")

(defmacro (defgeneric header . body) (let name (car header) (quasiquote (begin (set-key method-store (unquote (to-string name)) nil) (def (unquote header) (let* (method-definitions (get-key method-store (unquote (to-string name))) call-args (list (unquote-splicing (cdr header))) matching-methods (filter (fn (method-definition) (let* (method (nth 1 method-definition) method-parameters (nth 0 method-definition)) (match-types call-args method-parameters))) method-definitions)) (if (= nil matching-methods) (error (quote undefined-method) "No matching method for these arguments") (let f (nth 1 (car matching-methods)) (f (unquote-splicing (cdr header)))))))))))

(def (untype-parameters parameters) (map (fn (parameter) (if (is-list parameter) (car parameter) parameter)) parameters))

(defmacro (defmethod header . body) (let* (name (car header) parameters (cdr header) untyped-parameters (untype-parameters parameters) func-name (gensym) param-list-cache (gensym) typed-parameters-cache (gensym)) (quasiquote (let* ((unquote param-list-cache) (quote (unquote parameters)) (unquote typed-parameters-cache) (eval-types (unquote param-list-cache) current-scope) (unquote func-name) (fn (unquote untyped-parameters) (unquote-splicing body))) (set-key method-store (unquote (to-string name)) (cons (list (unquote typed-parameters-cache) (unquote func-name)) (get-key method-store (unquote (to-string name)))))))))
(set-doc defmethod "Example: (defmethod (length (x cell) (+ 1 (length (cdr x)))))")

; Methods are defined in the reverse of their dispatch order: the newest is tried first.
(let native-repr repr
  (defgeneric (repr x))
  (defmethod (repr x) (+ "<unknown value of type " (to-string (get-type x)) ">"))
  (defmethod (repr (x type)) (native-repr x))
  (defmethod (repr (x function))
    (let metadata (get-metadata x)
      (if (and (is-instance metadata dictionary) (has-key metadata "source"))
          (repr (get-key metadata "source"))
          (native-repr x))))
  (defmethod (repr (x cell)) (native-repr x))
  (defmethod (repr (x symbol)) (native-repr x))
  (defmethod (repr (x dictionary)) (native-repr x))
  (defmethod (repr (x environment)) (native-repr x))
  (defmethod (repr (x unique)) (native-repr x))
  (defmethod (repr (x string)) (native-repr x))
  (defmethod (repr (x class))
    (let metadata (get-metadata x)
      (if (and (is-instance metadata dictionary) (has-key metadata "source"))
          (repr (get-key metadata "source"))
          (native-repr x))))
  (defmethod (repr (x integer)) (native-repr x)))
(set-doc repr "Represent a value as a literal in a string")

(let* (native-+ +
       native-str-concat string-concat
       concat-helper (fn (list-a list-b) (if (= nil list-a) list-b (concat-helper (cdr list-a) (cons (car list-a) list-b)))))
  (defgeneric (add x y))
  (defmethod (add (x integer) (y integer)) (native-+ x y))
  (defmethod (add (x string) (y string)) (native-str-concat x y))
  (defmethod (add (x unique) (y unique))
    (if (and (= x nil) (= y nil))
        nil
        (error (quote undefined-method) "Addition not defined for non-nil unique values")))
  (defmethod (add (x unique) (y cell))
    (if (= x nil)
        y
        (error (quote undefined-method) (+ "(+) not defined between unique value " (repr x) " and lists"))))
  (defmethod (add (x cell) (y unique))
    (if (= y nil)
        x
        (error (quote undefined-method) (+ "(+) not defined between list and unique value " (repr y)))))
  (defmethod (add (x cell) (y cell)) (concat-helper (reverse x) y)))
(set-doc add "Polymorphic (generic) addition, used by +")

(def (sum elts) (reduce add elts))

(def (+ . args) (sum args))

(def (reverse lst) (let reversed nil (for x (iter lst) (set-symbol (quote reversed) (cons x reversed))) reversed))

(replacing length
  (let native-str-len string-length
    (defgeneric (length x))
    (defmethod (length (x unique))
      (if (= x nil) 0 (error (quote undefined-method) "length is not defined for this constant")))
    (defmethod (length (x cell)) (+ 1 (length (cdr x))))
    (defmethod (length (x string)) (native-str-len x))))
(set-doc length "Return the length")

(let* (native-get-key get-key
       native-str-at string-at)
  (defgeneric (at x i))
  (defmethod (at (x unique) (i integer))
    (if (= x nil)
        (error (quote indexing-error) "End of list reach while indexing")
        (error (quote indexing-error) "Cannot index type unique")))
  (defmethod (at (x cell) (i integer)) (if (= i 0) (car x) (at (cdr x) (- i 1))))
  (defmethod (at (x string) (i integer)) (native-str-at x i))
  (defmethod (at (x dictionary) (i string)) (native-get-key x i)))
(set-doc at "Return the value at an index")

(let native-set-key set-key
  (defgeneric (set-at x i v))
  (defmethod (set-at x i v)
    (error (quote undefined-method) (+ "(set-at " (repr (get-type x)) " <key> <value>) is not defined")))
  (defmethod (set-at (x dictionary) (i string) v) (native-set-key x i v)))

(begin
  (defgeneric (iter x))
  (defmethod (iter x) (error (quote undefined-method) (+ "(iter) not defined for type " (to-string (get-type x)))))
  (defmethod (iter (x unique)) (if (= x nil) (fn () nil) nil))
  (defmethod (iter (x cell))
    (fn () (if (= x nil) nil (let item (car x) (set-symbol (quote x) (cdr x)) (list item)))))
  (defmethod (iter (x string))
    (let i 0
      (fn () (if (= i (length x)) nil (let c (at x i) (set-symbol (quote i) (+ i 1)) (list c)))))))
(set-doc iter "Return an iterator to be consumed by a for loop")

(def (range limit) (let counter 0 (fn () (if (= counter limit) nil (begin (set-symbol (quote counter) (+ 1 counter)) (list (- counter 1)))))))

(let native-str-to-sym string->symbol
  (defgeneric (to-symbol x))
  (defmethod (to-symbol (x string)) (native-str-to-sym x)))

; The type predicates.
(replacing is-string (def (is-string x) (is-instance x string)))
(def (is-integer x) (is-instance x integer))
(def (is-symbol x) (is-instance x symbol))
(def (is-cons x) (is-instance x cell))
(def (is-dict x) (is-instance x dictionary))
(def (is-nil x) (= x nil))

(let native-to-string to-string
  (defgeneric (to-string x))
  (defmethod (to-string (x symbol)) (native-to-string x))
  (defmethod (to-string (x integer)) (native-to-string x))
  (defmethod (to-string (x cell)) (native-to-string x))
  (defmethod (to-string (x function)) (native-to-string x))
  (defmethod (to-string (x unique)) (native-to-string x))
  (defmethod (to-string (x string)) x)
  (defmethod (to-string (x class))
    (let metadata (get-metadata x)
      (if (is-dict metadata)
          (if (has-key metadata "name") (+ "(class " (get-key metadata "name") ")") nil)
          "<unknown class>")))
  (defmethod (to-string (x dictionary)) (repr x)))
(set-doc to-string "Cast to string")

(begin
  (defgeneric (in container item))
  (defmethod (in container item)
    (error (quote undefined-method) (+ "(in) not implemented for this type combination:\n" (to-string container) "\n" (to-string item))))
  (defmethod (in (container unique) item)
    (if (= container nil)
        false
        (error (quote undefined-method) (+ "(in) is not defined for this container: " (to-string container)))))
  (defmethod (in (container cell) item) (if (= (car container) item) true (in (cdr container) item))))

; The natives that only the methods above may reach, and the bootstrap's last helper.
(unset string-length)
(unset string->symbol)
(unset string-at)
(unset string-concat)
(unset replacing)
