(set-symbol "x" 1)
