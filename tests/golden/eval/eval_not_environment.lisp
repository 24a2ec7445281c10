(eval (quote x) 5)
