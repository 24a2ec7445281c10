; Passes already run keep their effects; the bad answer stops the loop.
(define answers (fn (. items) (fn () ((fn (head) (set-symbol (quote items) (cdr items)) head) (car items)))))
(for x (answers (list "first") 5) (print x))
