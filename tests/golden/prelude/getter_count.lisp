; A getter called from a function's body with one argument too many fails as the generic's
; call does.
(defclass box () width)
(def (wrongly x) (width x x))
(wrongly (make-box 1))
