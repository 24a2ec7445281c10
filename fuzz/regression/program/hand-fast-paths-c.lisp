(print (at "hello" -1))
