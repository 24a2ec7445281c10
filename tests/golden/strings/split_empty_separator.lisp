(split "abc" "")
