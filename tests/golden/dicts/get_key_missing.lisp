(define d (dict))
(set-key d "port" 80)
(print (get-key d "port"))
(get-key d "missing")
