`(a (b ,(car 5)))
