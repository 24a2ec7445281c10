(print (string-at "abc" 1))
(string-at "abc" (- 0 1))
