(print (and true 5))
