; A function applied in place with the wrong number of arguments is made and called as usual.
(print ((fn (a b) (list a b)) 1))
