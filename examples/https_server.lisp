; An HTTPS server with a redirect from plain HTTP, as a whole nginx.conf.
; Writes nginx.conf; the certificate paths are where a certificate tool would put them.
(define out-dir ".")
(define domain "secure.example.org")
(define certificates (str "/etc/letsencrypt/live/" domain))

(define config (configuration
  (dir "worker_processes" "auto")
  (make-context "events" nil (list (dir "worker_connections" "1024")))
  (http
    (include "/etc/nginx/mime.types")
    (sendfile "on")
    (server
      (listen 80)
      (server-name domain)
      (return 301 (str "https://" domain "$request_uri")))
    (server
      (listen "443 ssl")
      (server-name domain)
      (ssl-certificate (str certificates "/fullchain.pem"))
      (ssl-certificate-key (str certificates "/privkey.pem"))
      (ssl-protocols "TLSv1.2" "TLSv1.3")
      (root "/srv/www/secure")
      (location "/"
        (index "index.html"))
      (location "/old-blog/"
        (rewrite "^/old-blog/(.*)$" "/blog/$1" "permanent"))))))

(write-file (str out-dir "/nginx.conf") (to-string config))
(print (str "wrote " out-dir "/nginx.conf"))
