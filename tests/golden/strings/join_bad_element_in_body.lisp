(def (line parts) (join parts " "))
(print (line (list "a" "b")))
(line (list "a" 1 "b"))
