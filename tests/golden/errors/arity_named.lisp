(define f (fn (a b) a))
(set-metadata f (dict))
(set-key (get-metadata f) "name" "f")
(f 1)
