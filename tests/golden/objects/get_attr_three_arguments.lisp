(get-attr (make-instance (make-class () x)) 'x 'y)
