(string-at "abc" 3)
