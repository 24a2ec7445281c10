; The first of two arguments waits in its frame while the second is computed: values made
; only for the call survive the collections the second argument's work brings.
(define churn (fn (n) (if (= n 0) (list "done") (car (list (churn (- n 1)))))))
(print (cons (list 1 2) (churn 50)))
(print (= (list 1 (list 2)) (car (list (list 1 (list 2))))))
(print (- (car (list 7)) (car (churn 3))))
