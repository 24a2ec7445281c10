; set-symbol of a name no scope binds, inside a body: the native's own error and frames.
(def (h x) (set-symbol (quote nowhere) (+ x 1)) x)
(print (h 1))
