; The core library: the definition macros, scoping and sequencing, list functions.
;
; Bootstrap. These definitions are written with the macros they define (defmacro with
; defmacro, def with let* and begin), and every def asks has-docstring, which calls the
; generic length and is-string from much later. So those names first get stand-ins with the
; same expansions; `replacing` expands a real definition while its stand-in is still bound,
; then unbinds the stand-in, so that evaluating the definition binds the name anew, in its
; own place in the global environment.
(define replacing
  (with-exec-mode (quote macro)
    (fn (name form)
      ((fn (expanded global) (eval global (list (quote unset) name)) expanded)
       (macroexpand form) parent-scope))))

(define let
  (with-exec-mode (quote macro)
    (fn (name value . body)
      (quasiquote ((fn ((unquote name)) (set-symbol (quote (unquote name)) (unquote value)) (unquote-splicing body)) nil)))))

(define let*
  (with-exec-mode (quote macro)
    (fn (args . body)
      (if (= args nil)
          (quasiquote ((fn () (unquote-splicing body))))
          (quasiquote (let (unquote (car args)) (unquote (car (cdr args))) (let* (unquote (cdr (cdr args))) (unquote-splicing body))))))))

(define begin
  (with-exec-mode (quote macro)
    (fn (. body) (quasiquote ((fn () (unquote-splicing body)))))))

(define defmacro
  (with-exec-mode (quote macro)
    (fn (header . body)
      (let* (doc (if (has-docstring body) (car body) (repr (quasiquote (defmacro (unquote header) (unquote-splicing body))))) docless-body (if (has-docstring body) (cdr body) body) name (car header)) (quasiquote (begin (define (unquote name) (with-exec-mode (quote macro) (fn (unquote (cdr header)) (unquote-splicing body)))) (set-doc (unquote name) (unquote doc)) (set-metadata (unquote name) (dict)) (set-key (get-metadata (unquote name)) "name" (unquote (to-string name))) (set-key (get-metadata (unquote name)) "source" (quote (defmacro (unquote header) (unquote-splicing body))))))))))

(define has-docstring (fn (body) (and (> (length body) 0) (is-string (car body)))))
; Only bodies (proper lists) and strings are asked about before the real ones exist.
(define length (fn (lst) (if (= lst nil) 0 (+ 1 (length (cdr lst))))))
(define is-string (fn (x) (is-subclass (get-type x) string)))

; The definitions proper.
(replacing defmacro (defmacro (defmacro header . body) (let* (doc (if (has-docstring body) (car body) (repr (quasiquote (defmacro (unquote header) (unquote-splicing body))))) docless-body (if (has-docstring body) (cdr body) body) name (car header)) (quasiquote (begin (define (unquote name) (with-exec-mode (quote macro) (fn (unquote (cdr header)) (unquote-splicing body)))) (set-doc (unquote name) (unquote doc)) (set-metadata (unquote name) (dict)) (set-key (get-metadata (unquote name)) "name" (unquote (to-string name))) (set-key (get-metadata (unquote name)) "source" (quote (defmacro (unquote header) (unquote-splicing body)))))))))
(set-doc defmacro "Example: (defmacro (f x) `(+ ,x 1))")

(defmacro (def header . body) (let* (doc (if (has-docstring body) (car body) (repr (quasiquote (def (unquote header) (unquote-splicing body))))) docless-body (if (has-docstring body) (cdr body) body) name (car header)) (quasiquote (begin (define (unquote name) (fn (unquote (cdr header)) (unquote-splicing body))) (set-doc (unquote name) (unquote doc)) (set-metadata (unquote name) (dict)) (set-key (get-metadata (unquote name)) "name" (unquote (to-string name))) (set-key (get-metadata (unquote name)) "source" (quote (def (unquote header) (unquote-splicing body))))))))
(set-doc def "Example: (def (f x) (+ x 5))")

(replacing begin (defmacro (begin . body) (quasiquote ((fn () (unquote-splicing body))))))
(set-doc begin "Example: (begin (print 1) (print 2))")

(replacing let (defmacro (let name value . body) (quasiquote ((fn ((unquote name)) (set-symbol (quote (unquote name)) (unquote value)) (unquote-splicing body)) nil))))
(set-doc let "Example: (let x 5 (print x))")

(replacing let* (defmacro (let* args . body) (if (= args nil) (quasiquote ((fn () (unquote-splicing body)))) (quasiquote (let (unquote (car args)) (unquote (car (cdr args))) (let* (unquote (cdr (cdr args))) (unquote-splicing body)))))))
(set-doc let* "Example: (let (x 5 y 8) (+ x y))")

(def (is-instance x y) (is-subclass (get-type x) y))
(set-doc is-instance "Example: (is-instance 5 integer) -> true")

(replacing has-docstring (def (has-docstring body) (and (> (length body) 0) (is-string (car body)))))

(def (map f lst) (if (= lst nil) nil (cons (f (car lst)) (map f (cdr lst)))))
(set-doc map "Example: (filter (fn (x) (= x true)) my-list)")

(def (filter f lst) (if (= lst nil) nil (let head (car lst) (if (f head) (cons head (filter f (cdr lst))) (filter f (cdr lst))))))

(let reduce-helper (fn (f lst acc) (if (= lst nil) acc (reduce-helper f (cdr lst) (f acc (car lst)))))
  (def (reduce f lst) (reduce-helper f (cdr lst) (car lst))))
(set-doc reduce "Example: (reduce + my-numbers)")

(defmacro (when expr . body) (quasiquote (if (unquote expr) (begin (unquote-splicing body)))))
(set-doc when "Example: (when (> x 5) (print x) (print 5))")

(defmacro (cond . forms) (if (= nil forms) nil (let* (predicate (car forms) action (car (cdr forms))) (quasiquote (if (unquote predicate) (unquote action) (cond (unquote-splicing (cdr (cdr forms)))))))))
(set-doc cond "Usage: (cond condition? action condition? action ...)")

(def (is-list x) (or (= x nil) (is-instance x cell)))
(set-doc is-list "(is-list x): return true if x is a list (a cons cell or nil)")

(def (nth i lst) (if (= i 0) (car lst) (nth (- i 1) (cdr lst))))

; The one native with a doc of its own.
(set-doc get-key "(Internal) Set a key in a dictionary. Use (at) instead when possible")
