; New values stored into the state the library left behind survive every collection: a doc
; given to a native that had none, keys of the library's dictionaries, rebound globals, an instance of a
; library class changed through its setter.
(set-doc car (+ "young" " doc"))
(set-key method-store "mine" (list (+ "a" "b")))
(set-key setter-store "mine" (+ "set-" "mine"))
(define map (fn (f l) (list (+ "re" "bound"))))
(set-metadata nth (dict))
(set-key (get-metadata nth) "k" (+ "v" "1"))
(define d (listen 80))
(set (args d) (list (+ "8" "1")))
(def (churn n) (if (= n 0) nil (begin (list n n n) (churn (- n 1)))))
(churn 60)
(print (list (get-doc car) (get-key method-store "mine") (get-key setter-store "mine") (map 1 2)))
(print (list (get-key (get-metadata nth) "k") (to-string d)))
