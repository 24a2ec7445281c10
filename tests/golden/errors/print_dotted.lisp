(print (cons 1 2))
