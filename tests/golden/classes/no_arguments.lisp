(make-class)
