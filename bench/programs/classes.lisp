; A class with getters and setters, used 10,000 times: make, read, write, read back.
(defclass account () "A bank account" owner balance)
(define total 0)
(for i (range 10000)
  (let a (make-account "someone" i)
    (set (balance a) (+ (balance a) 1))
    (set-symbol (quote total) (+ total (balance a)))))
(print total)
