; The three escapes; every other byte, a raw newline included, is taken as it is.
(print "a\nb")
(print "say \"hi\" \\ done")
(print (repr "a\"b"))
(print "raw
newline;# kept")
(print (repr (quote ("" "(" ")" "\\"))))
(print (repr (quote ("adjacent""strings"))))
