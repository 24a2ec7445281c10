(print (quote (a ,@)))
