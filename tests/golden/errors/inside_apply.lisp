(apply car (list 5))
