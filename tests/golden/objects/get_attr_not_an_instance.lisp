(get-attr (make-class () x) 'x)
