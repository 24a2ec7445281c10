; The macro fails while the second form is expanded: nothing of that form is evaluated.
(define m (with-exec-mode (quote macro) (fn (x) (car x))))
(print (m 5))
