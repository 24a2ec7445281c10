; the kind is a string here, so the message shows it quoted
(print (run (quote if) "x" "cmd"))
(run (quote if) "x")
