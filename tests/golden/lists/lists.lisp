; Cells: dotted pairs, car and cdr, cons onto lists.
(define p (cons 1 2))
(print (list (car p) (cdr p) (car (cons nil nil)) (cdr '(1))))
(print (cons 1 '(2 3)))
(define q (cons '(a) "b" "ignored"))
(print (list (car q) (cdr q)))
(print (car (cdr (cdr '(1 2 (3 4))))))
