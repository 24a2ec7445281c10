; Two million passes, each making a list, strings, a dictionary and a class instance that
; are garbage by the next pass, while a little stays live to the end. The run must fit in a
; memory limit far below what all of it would take. Built-ins only, so that the test takes
; seconds: the generics would make it minutes.
(define point (make-class () x y))
(define kept (dict))
(define total 0)
(define count 0)
(for i (range 2000000)
  (let* (cells (cons i (cons count (list "text")))
         text (join (list "item-" (car (cdr (cdr cells)))) "")
         table (dict)
         p (make-instance point))
    (set-key table text cells)
    (set-key table "point" p)
    (set-attr p 'x (car (get-key table text)))
    (set-attr p 'y (split "a,b,c" ","))
    (set-symbol 'total (+ total (- (get-attr p 'x) i)))
    (set-symbol 'count (+ count 1))
    ; every 100,000th pass stays live until the end
    (if (= count 100000) (begin (set-symbol 'count 0) (set-key kept (to-string i) table)) nil)))
(print total)
(print (length (list-keys kept)))
