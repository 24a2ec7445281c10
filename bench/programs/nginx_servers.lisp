; An nginx configuration of many virtual servers, each with listen, server_name, two
; locations and proxy headers, rendered to text and written to a file.
(define count 300)
(def (site i)
  (let name (str "site" i ".example.org")
    (server
      (listen 80)
      (server-name name)
      (location "/"
        (proxy-pass (str "http://127.0.0.1:" (+ 8000 i)))
        (proxy-set-header "Host" "$host")
        (proxy-set-header "X-Real-IP" "$remote_addr"))
      (location "/static/"
        (root (str "/srv/" name))))))
(define servers nil)
(for i (range count) (set-symbol (quote servers) (cons (site i) servers)))
(write-file "/dev/null" (to-string (configuration (apply http (reverse servers)))))
