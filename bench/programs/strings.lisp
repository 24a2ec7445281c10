; String building with the generic + and to-string: 20,000 lines of text joined as it goes.
(define text "")
(for i (range 20000)
  (set-symbol (quote text) (+ "line " (to-string i) ": " (to-string (* i i)) "\n"))
  (set-symbol (quote text) (+ (to-string (length text)) text)))
(print text)
