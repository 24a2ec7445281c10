(print "before")
(print "abc)
; the rest of the file is inside the string
