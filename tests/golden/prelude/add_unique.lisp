; the unique values other than nil cannot be added
(print (+ nil nil))
(+ true nil)
