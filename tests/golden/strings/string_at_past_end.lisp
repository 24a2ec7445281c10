(at "abc" 3)
