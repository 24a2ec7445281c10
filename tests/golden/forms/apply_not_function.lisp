(apply 5 (list 1))
