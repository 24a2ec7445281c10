; Dictionaries through at and set: 50,000 counts over 100 distinct keys.
(define counts (dict))
(for i (range 100) (set (at counts (+ "key" (to-string i))) 0))
(for round (range 500)
  (for i (range 100)
    (let key (+ "key" (to-string i))
      (set (at counts key) (+ 1 (at counts key))))))
(print (at counts "key7"))
