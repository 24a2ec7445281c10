; A CI workflow: a test job over a matrix of compilers, then a packaging job that needs it.
; Writes ci.yml, ready for .github/workflows/. Keyword arguments come before the positional ones.
(define out-dir ".")

(def (checkout) (use (quote name) "Check out" (quote with) (list (list "fetch-depth" 0)) "actions/checkout@v4"))

(define test-job
  (job "test" "ubuntu-latest"
    (quote env) (list (list "CTEST_OUTPUT_ON_FAILURE" 1))
    (quote matrix) (list (list "compiler" (list "g++" "clang++")) (list "build-type" (list "Debug" "Release")))
    (checkout)
    (run "cmake -B build -DCMAKE_CXX_COMPILER=${{ matrix.compiler }} -DCMAKE_BUILD_TYPE=${{ matrix.build-type }}")
    (run "cmake --build build -j && ctest --test-dir build")
    (run (quote if) "failure()" "grep -E 'error: .+' build/*.log || true")))

(define package-job
  (job "package" "ubuntu-latest"
    (quote needs) (list "test")
    (checkout)
    (run "cmake -B build -DCMAKE_BUILD_TYPE=Release && cmake --build build -j")
    (use (quote with) (list (list "name" "velune") (list "path" "build/velune")) "actions/upload-artifact@v4")
    (run (quote if) "github.ref == 'refs/heads/main'" "echo \"released ${{ github.sha }}\"")))

(define ci (workflow "CI" "push, pull_request" test-job package-job))
(save-workflow (str out-dir "/ci.yml") ci)
(print (str "wrote " out-dir "/ci.yml"))
