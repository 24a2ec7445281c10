; nginx configuration files as trees of nodes; to-string of a node renders its text.

(define indentation "    ")

(defclass node () "base Nginx config AST node")

(defgeneric (generate x))

(defmethod (to-string (x node)) (lines-to-string (generate x)))

(defclass context (node) "Nginx block" name args body)

(defclass directive (node) "Nginx directive" name args)

(defclass comment (node) "Nginx # comment" text)

(def (nginx-comment x) (make-comment x))

(defmethod (generate (x comment)) (list (+ "# " (text x))))

(defclass all (node) "Bundle of nginx config trees" body)

(defmethod (generate (x all)) (map generate (body x)))

(defmethod (generate (x directive)) (+ (to-string (name x)) " " (join (args x) " ") ";"))

(defmethod (generate (x context))
  (list (+ (name x) (if (= nil (args x)) "" (+ " " (join (args x) " "))) " {")
        (indent-block indentation (map generate (body x)))
        "}"))

(def (configuration . args) (make-all args))

(def (str . args) (sum (map to-string args)))

(def (dir name . args) (make-directive name args))

; Directives.
(def (listen port) (dir "listen" (to-string port)))
(def (server-name name) (dir "server_name" name))
(def (root path) (dir "root" path))
(def (index . names) (make-directive "index" names))
(def (include path) (dir "include" path))
(def (sendfile value) (dir "sendfile" value))
(def (keepalive-timeout seconds) (dir "keepalive_timeout" (to-string seconds)))
(def (ssl-certificate path) (dir "ssl_certificate" path))
(def (ssl-certificate-key path) (dir "ssl_certificate_key" path))
(def (ssl-protocols . protocols) (make-directive "ssl_protocols" protocols))
(def (proxy-pass url) (dir "proxy_pass" url))
(def (proxy-set-header name value) (dir "proxy_set_header" name value))
(def (access-log path) (dir "access_log" path))
(def (error-log path) (dir "error_log" path))
(def (rewrite pattern replacement flag) (dir "rewrite" pattern replacement flag))
(def (return code . url?) (if (= nil url?) (dir "return" (to-string code)) (dir "return" (to-string code) (car url?))))

; Blocks.
(def (http . body) (make-context "http" nil body))
(def (server . body) (make-context "server" nil body))
(def (location path . body) (make-context "location" (list path) body))
(def (upstream name . servers) (make-context "upstream" (list name) servers))
