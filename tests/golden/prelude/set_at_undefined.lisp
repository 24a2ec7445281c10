(set-at (list 1) 0 2)
