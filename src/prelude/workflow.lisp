; Nested blocks of lines, and the library that writes GitHub Actions workflow files.

(def (indent prefix line) (+ prefix line))

(def (indent-block prefix nested-blocks) (if (= nil nested-blocks) nil (let* (head (car nested-blocks) tail (cdr nested-blocks)) (if (is-list head) (cons (indent-block prefix head) (indent-block prefix tail)) (cons (indent prefix head) (indent-block prefix tail))))))

(def (print-lines nested-blocks) (if (= nil nested-blocks) nil (let* (head (car nested-blocks) tail (cdr nested-blocks)) (if (is-list head) (print-lines head) (print head)) (print-lines tail))))

(def (flatten nested-blocks) (if (= nil nested-blocks) nil (let head (car nested-blocks) (let tail (cdr nested-blocks) (if (is-list head) (+ (flatten head) (flatten tail)) (cons head (flatten tail)))))))

(def (lines-to-string nested-blocks) (if (is-string nested-blocks) nested-blocks (join (flatten nested-blocks) "\n")))

; A double-quoted YAML scalar: quotes and backslashes are escaped, and so are newline, carriage
; return and tab (the two string literals after "\n" hold a raw carriage return and a raw tab,
; which the reader has no escapes for), so every string reads back as itself.
(def (yaml-quote str) (let quoted (list "\"") (for c (iter str) (set-symbol (quote quoted) (cons (cond (= c "\"") "\\\"" (= c "\\") "\\\\" (= c "\n") "\\n" (= c "") "\\r" (= c "	") "\\t" true c) quoted))) (join (reverse (cons "\"" quoted)) "")))

(def (get-kwarg-pair args) (if (< (length args) 2) nil (if (is-symbol (car args)) (cons (at args 0) (at args 1)) nil)))

(def (split-kwargs kwargs-dict args) (let result (get-kwarg-pair args) (if (= nil result) args (begin (set-key kwargs-dict (to-string (car result)) (cdr result)) (split-kwargs kwargs-dict (cdr (cdr args)))))))

(def (use . args) (let* (kwargs (dict) positional (split-kwargs kwargs args)) (if (= nil positional) (error (quote syntax-error) "(use) needs at least one argument") (list (+ "- uses: " (yaml-quote (car positional))) (if (has-key kwargs "name") (+ "  name: " (yaml-quote (at kwargs "name"))) nil) (if (has-key kwargs "with") (list "  with: " (indent-block "    " (map (fn (pair) (+ (to-string (at pair 0)) ": " (to-string (at pair 1)))) (at kwargs "with")))) nil)))))

(def (run . args) (let* (kwargs (dict) positional (split-kwargs kwargs args)) (if (= nil positional) (error "syntax-error" "(run) needs at least one argument") (list (+ "- run: " (yaml-quote (car positional))) (if (has-key kwargs "if") (+ "  if: " (yaml-quote (at kwargs "if"))) nil)))))

(def (needs needed) (+ "needs: [" (join (map (fn (x) (yaml-quote (to-string x))) needed) ", ") "]"))

(def (matrix pairs) (list "strategy:" (indent-block "  " (list "matrix:" (indent-block "  " (map (fn (pair) (+ (to-string (at pair 0)) ": [" (join (map (fn (v) (yaml-quote (to-string v))) (at pair 1)) ", ") "]")) pairs))))))

(def (job name runs-on . args) (let* (kwargs (dict) steps (split-kwargs kwargs args)) (list (+ name ":") (indent-block "  " (list (if (has-key kwargs "needs") (needs (at kwargs "needs")) nil) (if (has-key kwargs "env") (environment (at kwargs "env")) nil) (if (has-key kwargs "matrix") (matrix (at kwargs "matrix")) nil) (+ "runs-on: " runs-on) "steps:" (indent-block "  " steps))))))

(def (environment pair-lists) (list "env:" (indent-block "  " (map (fn (pair) (+ (+ (to-string (at pair 0)) ": ") (yaml-quote (to-string (at pair 1))))) pair-lists))))

(def (github-action-func jobs) (cons "jobs:" (indent-block "  " jobs)))

(defmacro (github-action . jobs) (quasiquote (github-action-func (list (unquote-splicing jobs)))))

(def (workflow name trigger . jobs) (list (+ "name: " name) (+ (+ "on: [" trigger) "]") (github-action-func jobs)))

(def (save-workflow path workflow) (write-file path (lines-to-string workflow)))
