(make-class p a)
