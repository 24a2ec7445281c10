; Line blocks, keyword arguments and the layout of a saved workflow file.
(print (flatten (list "a" nil (list "b" (list "c")))))
(print (list (lines-to-string "x") (lines-to-string (list "a" "b")) (lines-to-string nil)))
(print-lines (list "a" (list "b" nil (list "c"))))
(print (indent-block "> " (list "a" nil (list "b"))))
(print (list (yaml-quote "a") (yaml-quote "say \"hi\"") (yaml-quote "")))
; backslashes and control characters are escaped, so the text reads back as itself
(print (yaml-quote "grep -E '\\d+' a\\nb"))
(print (yaml-quote "two
lines	tab"))
(print (job "j" "r" (quote needs) (list "a" "b")))
; a repeated keyword keeps its last value; keywords after a positional argument are positional
(define kw (dict))
(print (list (split-kwargs kw (list (quote a) 1 (quote b) 2 (quote a) 3 "pos" (quote c) 4)) kw))
(print (list (get-kwarg-pair (list 1)) (get-kwarg-pair (list "s" 1)) (car (get-kwarg-pair (list (quote k) 1))) (cdr (get-kwarg-pair (list (quote k) 1)))))
(print (run "make" (quote if) "x"))
(print (use (quote name) "n" (quote with) (list (list "k" 1) (list (quote s) "v")) "a/b@v1"))
(print (needs (list "a" 'b 1)))
(print (matrix (list (list "os" (list "linux" 'mac)) (list 'n (list 1 2)))))
(print (environment (list (list "A" 1) (list 'B "two"))))
(print (github-action (job "a" "r") (job "b" "r")))
(save-workflow "workflow.yml"
  (workflow "Build" "push"
    (job "build" "ubuntu-latest"
      (quote env) (list (list "MODE" "release"))
      (use (quote name) "Check out" (quote with) (list (list "fetch-depth" 1)) "actions/checkout@v4")
      (run (quote if) "success()" "make test"))
    (job "deploy" "ubuntu-latest" (quote needs) (list "build")
      (run "echo done"))))
(print (read-file "workflow.yml"))
