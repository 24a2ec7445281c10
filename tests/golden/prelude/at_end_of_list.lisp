(print (at (list 4) 0))
(at (list 4) 3)
