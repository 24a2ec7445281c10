; A native whose own entry fails on a value computed by a call: the native's frames.
(def (f n) (- (list n) n))
(print (f 3))
