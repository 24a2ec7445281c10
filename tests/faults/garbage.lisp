; Two million passes, each making a list, strings, a dictionary and a class instance that
; are garbage by the next pass, while a little stays live to the end. The run must fit in a
; memory limit far below what all of it would take.
(defclass point () x y)
(define kept (dict))
(define total 0)
(define count 0)
(for i (range 2000000)
  (let* (cells (list i count "text")
         text (+ "item-" (to-string i))
         table (dict)
         p (make-point i text))
    (set-key table text cells)
    (set-key table "point" p)
    (set (x p) (length (get-key table text)))
    (set-symbol 'total (+ total (x p)))
    (set-symbol 'count (+ count 1))
    ; every 100,000th pass stays live until the end
    (if (= count 100000) (begin (set-symbol 'count 0) (set-key kept text table)) nil)))
(print total)
(print (length (list-keys kept)))
