; a getter without an entry in setter-store fails while the set form expands
(define l (list 1))
(set (car l) 2)
