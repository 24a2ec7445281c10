; café in a comment
(print "héllo wörld �")
(print (repr (quote (café ü "ß" ��))))
(print (quote naïve))
