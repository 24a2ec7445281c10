; The evaluated expression's frames sit above eval's own.
(eval current-scope (list (quote car) 5))
