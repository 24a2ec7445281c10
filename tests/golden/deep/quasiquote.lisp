; A quasiquote template nested a hundred thousand levels deep runs on the frame stack.
(define nest (fn (n acc) (if (= n 0) acc (nest (- n 1) (list acc)))))
(define template (nest 100000 (list (quote unquote) (quote x))))
(define x 42)
(define built (eval current-scope (list (quote quasiquote) template)))
(define unwrap (fn (n v) (if (= n 0) v (unwrap (- n 1) (car v)))))
(print (unwrap 100000 built))
; The built structure prints without host recursion too.
(define printed (repr (nest 100000 nil)))
(print (length printed))
