(print (= current-scope 1))
(= current-scope current-scope)
