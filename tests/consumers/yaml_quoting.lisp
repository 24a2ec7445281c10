; Strings that YAML quoting must keep: each must read back from the file unchanged.
; The step name holds a raw tab and the env value a raw carriage return (the reader has no
; escapes for them).
(save-workflow "quoting.yml"
  (workflow "Quoting" "push"
    (job "check" "ubuntu-latest"
      (quote env) (list (list "LINE_END" "a\\nb"))
      (quote matrix) (list (list "word" (list "say \"hi\"" "C:\\temp\\")))
      (use (quote name) "tab	separated" "actions/checkout@v4")
      (run "grep -E '\\d+' counts.txt")
      (run (quote if) "success()" "printf 'a\\nb'")
      (run "echo one\necho \"two\""))))
