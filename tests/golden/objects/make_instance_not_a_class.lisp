(make-instance integer)
