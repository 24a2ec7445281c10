(apply list (cons 1 2))
