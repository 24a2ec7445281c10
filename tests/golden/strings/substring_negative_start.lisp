(substring "hello" (- 0 1) 2)
