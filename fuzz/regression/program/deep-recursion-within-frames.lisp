; A recursion without end ((churn 3) never meets 5) that runs as levels inside frames: the
; step limit bounds it as it bounds a recursion of frames, where it once ran for seconds.
(define churn (fn (n) (if (= n 5) (list "done") (car (list (churn (- n 1)))))))
(print (cons (list 1 2) (churn 50)))
(print (= (list 1 (list 2)) (car (list (list 1 (list 2))))))
(print (- (car (list 7)) (car (churn 3))))
