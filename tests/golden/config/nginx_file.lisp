; A whole configuration file written with write-file, as a program would save it.
(write-file "nginx.conf" (to-string (configuration
  (make-context "events" nil nil)
  (http
    (upstream "pool" (dir "server" "127.0.0.1:9001") (dir "server" "127.0.0.1:9002"))
    (server (listen 80) (server-name "a") (location "/" (root "b")))
    (server (listen 8080) (server-name "b")
      (location "/" (proxy-pass "http://pool") (proxy-set-header "Host" "$host"))
      (location "/old" (return 301 "/new")))))))
(print (read-file "nginx.conf"))
