(set-symbol (quote nope) 1)
