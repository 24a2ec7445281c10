; The value of a let that removes the binding it is for: set-symbol finds none.
(print ((fn (v) (set-symbol (quote v) (begin (unset v) 4)) v) 0))
