  ; a comment first
) (print "never")
