; The frame's own (set-symbol (quote name) x) for a name no scope binds: the native's error,
; with its frames, after x was evaluated.
(define seen 0)
(for x (iter (list 1 2)) (set-symbol (quote nowhere) (begin (set-symbol (quote seen) x) x)))
