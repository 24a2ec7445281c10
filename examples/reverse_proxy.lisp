; A reverse proxy in front of a pool of application servers, passing the client's address on.
; Writes reverse-proxy.conf, to be included from the http block of nginx.conf.
(define out-dir ".")
(define backends (list "10.0.0.11:8080" "10.0.0.12:8080" "10.0.0.13:8080"))

(def (proxy-headers)
  (list (proxy-set-header "Host" "$host")
        (proxy-set-header "X-Real-IP" "$remote_addr")
        (proxy-set-header "X-Forwarded-For" "$proxy_add_x_forwarded_for")
        (proxy-set-header "X-Forwarded-Proto" "$scheme")))

(def (proxied-location path pool)
  (apply location (+ (list path (proxy-pass (str "http://" pool))) (proxy-headers))))

(define pool (apply upstream (cons "app" (map (fn (address) (dir "server" address)) backends))))

(define config (configuration
  pool
  (server
    (listen 80)
    (server-name "app.example.org")
    (keepalive-timeout 65)
    (proxied-location "/" "app")
    (location "/healthz"
      (access-log "off")
      (return 200 "ok")))))

(write-file (str out-dir "/reverse-proxy.conf") (to-string config))
(print (str "wrote " out-dir "/reverse-proxy.conf"))
