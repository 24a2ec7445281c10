(for "x" (fn () nil))
