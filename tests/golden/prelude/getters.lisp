; Getters: what they read, and what they mean when the names in their code are rebound.
(defclass box () "A box" width height)
(define b (make-box 2 3))
(print (list (width b) (height b)))
; Called from a function's body.
(def (area-of x) (* (width x) (height x)))
(def (both x) (list (width x) (height x)))
(print (list (area-of b) (both b)))
; A slot never written reads as nil.
(define empty (make-instance box))
(print (list (width empty) (height empty)))
; A getter shared by two classes reads each one's own slot.
(defclass frame () height)
(print (list (height (make-frame 9)) (height b)))
; Written by the program, in a scope whose get-attr is its own.
(let get-attr (fn (object name) (list "own get-attr" name))
  (defgeneric (depth x))
  (defmethod (depth (x box)) (get-attr x (quote depth))))
(print (depth b))
; get-attr rebound everywhere: every getter now calls the new one.
(define saved get-attr)
(set-symbol (quote get-attr) (fn (object name) (list "rebound" name)))
(print (list (width b) (height (make-frame 1)) (both b)))
(set-symbol (quote get-attr) saved)
(print (width b))
; A getter on an instance lacking the attribute fails with the getter's own frames.
(defclass other () "Another class" colour)
(defmethod (width (x other)) (get-attr x (quote width)))
(def (width-of x) (list "width" (width x)))
(width-of (make-other "red"))
