`(a ,@(cons 1 2))
