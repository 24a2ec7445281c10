(set-attr (make-instance (make-class () x)) "x" 1)
