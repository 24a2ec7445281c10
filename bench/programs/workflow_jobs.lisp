; A workflow of many jobs with four steps each, written with save-workflow.
(define count 100)
(def (build-job i)
  (let name (str "job" i)
    (job name "ubuntu-latest"
      (quote needs) (if (= i 0) nil (list (str "job" (- i 1))))
      (quote env) (list (list "JOB" name))
      (use (quote name) "Check out" (quote with) (list (list "fetch-depth" 1)) "actions/checkout@v4")
      (run (str "make -C part" i))
      (run (quote if) "success()" (str "make -C part" i " test"))
      (use (quote with) (list (list "name" name) (list "path" "out/")) "actions/upload-artifact@v4"))))
(define jobs nil)
(for i (range count) (set-symbol (quote jobs) (cons (build-job i) jobs)))
(save-workflow "/dev/null" (apply workflow (cons "Build" (cons "push" (reverse jobs)))))
