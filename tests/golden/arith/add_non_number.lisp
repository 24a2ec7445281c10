; The first argument that is not an integer stops the sum.
(+ 1 2 "3" 'four)
