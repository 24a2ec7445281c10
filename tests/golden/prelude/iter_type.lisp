; to-string has no method for types, so the catch-all of iter fails in to-string
(iter 5)
